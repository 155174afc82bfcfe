#include "converter/VdbExport.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <new>

#include "converter/ChannelNames.h"
#include "converter/DenseGridBuilder.h"
#include "converter/IndexToWorld.h"
#include "converter/PointGrids.h"
#include "converter/VdbGrids.h"
#include "orv/IOrv.h"
#include "orv/ThreadManager.h"
#include "support/ExceptionGuard.h"
#include "support/Log.h"
#include "support/platform/Platform.h"

#ifndef ORV_VERSION
#define ORV_VERSION "unknown"
#endif

namespace {

void describeRole(openvdb::GridBase& grid, GridRole role) {
  switch (role) {
    case GridRole::FogVolume:
      grid.setGridClass(openvdb::GRID_FOG_VOLUME);
      break;
    case GridRole::Velocity:
      grid.setVectorType(openvdb::VEC_CONTRAVARIANT_RELATIVE);
      break;
    case GridRole::Colour:
      grid.setVectorType(openvdb::VEC_INVARIANT);
      break;
    case GridRole::Plain:
      break;
  }
}

// The grid a preset names, empty, with its name, class or vector type and storage precision.
openvdb::GridBase::Ptr emptyGrid(const PresetGrid& preset, const ExportSettings& settings) {
  openvdb::GridBase::Ptr grid;
  if (preset.components == 3) {
    grid = openvdb::Vec3SGrid::create(openvdb::Vec3s(0.0f));
  } else {
    grid = openvdb::FloatGrid::create(0.0f);
  }
  grid->setName(preset.name);
  describeRole(*grid, preset.role);
  if (settings.halfFloat) grid->setSaveFloatAsHalf(true);
  return grid;
}

// Whether the frame's grids, with the channels decoded beside them and the spare memory their
// teardown needs, can be allocated now; a frame that cannot is refused before any grid is built.
bool gridsFit(const char* destination, const int size[3], const std::vector<PresetGrid>& selected,
              int gridThreads, FrameExportReport& report) {
  if (selected.empty()) return true;
  const long long channelBytes = 4ll * size[0] * size[1] * size[2];
  const long long concurrent = std::max(1, std::min<int>(gridThreads, selected.size()));
  long long needed = 0;
  int widest = 1;
  for (const PresetGrid& grid : selected) {
    needed += DenseGridBytes(size, grid.components) + GridTeardownBytes(size);
    widest = std::max(widest, grid.components);
  }
  needed += channelBytes * widest * concurrent;
  if (orv::platform::CanAllocate(needed)) return true;
  LogMessage("#VDB export: the %zu grids of %s (%d x %d x %d) need about %lld bytes, which cannot "
             "be allocated\n", selected.size(), destination, size[0], size[1], size[2], needed);
  report.reason = "its " + std::to_string(selected.size()) + " grids need about " +
                  std::to_string(needed) + " bytes, which cannot be allocated";
  return false;
}

// One volume grid of the file: created empty up front, filled from the frame's channels, which
// are then released.
struct GridBuild {
  const PresetGrid* preset = nullptr;
  openvdb::GridBase::Ptr grid;
  int missingChannel = -1;  // the channel that could not be expanded
  std::exception_ptr failure;
  std::atomic<bool> done{false};
};

// The volume grids of one frame. They live as long as this object, so a build that fails (out of
// memory, among others) never destroys a half-built grid while an exception unwinds.
class GridBuilds : public KUtils::BatchProcedure {
 public:
  GridBuilds(IOrv& frame, const std::vector<PresetGrid>& presets, const int size[3],
             const ExportSettings& settings, ExportedChannelRelease* release)
      : frame_(frame), builds_(presets.size()), settings_(settings), release_(release) {
    for (int c = 0; c < 3; ++c) size_[c] = size[c];
    for (size_t g = 0; g < presets.size(); ++g) {
      builds_[g].preset = &presets[g];
      builds_[g].grid = emptyGrid(presets[g], settings);
    }
  }

  // Fills every grid, on the settings' pool when it asks for more than one thread; a build that
  // no worker took is done here. Stops at the first missing channel when building alone.
  void buildAll() {
    const int threads = std::min<int>(settings_.gridThreads, static_cast<int>(builds_.size()));
    if (settings_.pool && threads > 1) settings_.pool->run(threads, this, nullptr, false);
    for (GridBuild& build : builds_) {
      if (!build.done) buildOne(build);
      if (build.missingChannel >= 0) return;
    }
  }

  // The first failure in file order: rethrown, or kVdbExportChannelMissing with the reason in
  // report; 0 when all were built.
  int firstFailure(FrameExportReport& report) const {
    for (const GridBuild& build : builds_) {
      if (build.failure) std::rethrow_exception(build.failure);
      if (build.missingChannel >= 0) {
        report.reason =
            "the " + GridChannelName(build.missingChannel) + " channel cannot be decoded";
        return kVdbExportChannelMissing;
      }
    }
    return kVdbExportWritten;
  }

  // Adds the grids to `grids`; this object keeps holding them.
  void appendGridsTo(openvdb::GridPtrVec& grids) const {
    for (const GridBuild& build : builds_) grids.push_back(build.grid);
  }

  void run(int*, int*, int, int) override {
    for (size_t g = next_++; g < builds_.size(); g = next_++) buildOne(builds_[g]);
  }

 private:
  void buildOne(GridBuild& build) {
    try {
      const PresetGrid& preset = *build.preset;
      const float* components[3] = {nullptr, nullptr, nullptr};
      for (int c = 0; c < preset.components && build.missingChannel < 0; ++c) {
        components[c] = frame_.getChannel(preset.channels[c]);
        if (!components[c]) build.missingChannel = preset.channels[c];
      }
      if (build.missingChannel < 0) {
        if (preset.components == 3) {
          FillDenseVectorGrid(static_cast<openvdb::Vec3SGrid&>(*build.grid), components, size_,
                              settings_.clip);
        } else {
          FillDenseFloatGrid(static_cast<openvdb::FloatGrid&>(*build.grid), components[0], size_,
                             settings_.clip);
        }
        for (int c = 0; release_ && c < preset.components; ++c) {
          release_->channelBuilt(frame_, preset.channels[c]);
        }
      }
    } catch (...) {
      build.failure = std::current_exception();
    }
    build.done = true;
  }

  IOrv& frame_;
  std::vector<GridBuild> builds_;
  int size_[3];
  const ExportSettings& settings_;
  ExportedChannelRelease* release_;
  std::atomic<size_t> next_{0};
};

// One point grid per particle group into `grids`; false with the reason in report when a group
// cannot be read.
bool buildPointGrids(IOrv& frame, const IndexToWorldMatrix& indexToWorld,
                     openvdb::GridPtrVec& grids, FrameExportReport& report) {
  const openvdb::math::Transform::Ptr transform = MakeIndexToWorld(indexToWorld);
  for (int g = 0; g < frame.getParticleGroupCount(); ++g) {
    ICorvanePrtGroup* group = frame.getParticleGroup(g);
    if (!group) continue;
    PointGridResult points = BuildPointGrid(*group, *transform);
    if (!points.grid) {
      report.reason = points.error;
      return false;
    }
    if (points.dropped > 0) {
      report.warnings.push_back(std::to_string(points.dropped) + " particles of group " +
                                points.grid->getName() +
                                " left out: their positions are not finite or out of range");
    }
    report.points += points.points;
    grids.push_back(points.grid);
  }
  return true;
}

VdbWriteOptions writeOptions(const ExportSettings& settings) {
  VdbWriteOptions options;
  options.codec = settings.codec;
  options.atomic = settings.atomicWrite;
  if (settings.describeFile) {
    options.extraMetadata.insertMeta("creator", openvdb::StringMetadata("orv " ORV_VERSION));
    // Channel values are written unchanged. The cache names no unit; its velocities are taken
    // as scene units per second, the unit renderers assume for motion blur.
    options.extraMetadata.insertMeta("velocity_unit",
                                     openvdb::StringMetadata("scene units per second"));
  }
  return options;
}

// The grids the caller holds: `builds`, and point grids appended to pointGrids.
int buildAndWrite(const char* destination, IOrv& frame, const ExportSettings& settings,
                  GridBuilds& builds, openvdb::GridPtrVec& pointGrids,
                  FrameExportReport& report) {
  float worldToGrid[12];
  frame.getTransform(worldToGrid);
  const IndexToWorldMatrix indexToWorld = IndexToWorldFromFrameTransform(worldToGrid);

  // Particles first: a group whose velocity comes from the grid samples channels that the volume
  // grids release once built.
  if (settings.particles && !buildPointGrids(frame, indexToWorld, pointGrids, report)) {
    return kVdbExportChannelMissing;
  }
  builds.buildAll();
  if (const int failure = builds.firstFailure(report)) return failure;
  openvdb::GridPtrVec grids;
  builds.appendGridsTo(grids);
  if (!grids.empty() || !pointGrids.empty()) {
    if (indexToWorld.singular) {
      LogMessage("#VDB export: the grid transform of %s cannot be inverted; identity written\n",
                 destination);
      report.warnings.push_back("the grid transform cannot be inverted; identity written");
    }
    AssignIndexToWorld(grids, indexToWorld);
  }
  grids.insert(grids.end(), pointGrids.begin(), pointGrids.end());
  report.bytesWritten = WriteVdbFile(destination, grids, writeOptions(settings));
  report.grids = static_cast<int>(grids.size());
  return kVdbExportWritten;
}

// buildAndWrite with every exception turned into a result; the grids stay with the caller.
int guardedBuildAndWrite(const char* destination, IOrv& frame, const ExportSettings& settings,
                         GridBuilds& builds, openvdb::GridPtrVec& pointGrids,
                         FrameExportReport& report) {
  try {
    return buildAndWrite(destination, frame, settings, builds, pointGrids, report);
  } catch (const openvdb::IoError& error) {
    LogMessage("#VDB export: cannot write %s: %s\n", destination, error.what());
    report.reason = error.what();
    return kVdbExportWriteFailed;
  } catch (const std::bad_alloc&) {
    LogMessage("#VDB export: out of memory while converting to %s\n", destination);
    report.reason = "out of memory";
    return kVdbExportWriteFailed;
  } catch (const std::exception& error) {
    LogMessage("#VDB export: conversion to %s failed: %s\n", destination, error.what());
    report.reason = error.what();
    return kVdbExportFailed;
  } catch (...) {
    LogMessage("#VDB export: conversion to %s failed\n", destination);
    report.reason = "unknown failure";
    return kVdbExportFailed;
  }
}

}  // namespace

int ExportFrame(const char* destination, IOrv& frame, const ExportSettings& settings,
                ExportedChannelRelease* release, FrameExportReport* report) {
  FrameExportReport local;
  FrameExportReport& out = report ? *report : local;
  if (!destination) destination = "";
  out.reason = "unknown failure";  // replaced by the reason of any failure that returns
  const int result = orv::GuardedCall("VDB export", static_cast<int>(kVdbExportFailed), [&] {
    openvdb::initialize();
    int size[3] = {0, 0, 0};
    frame.getGridSize(size);
    const std::vector<PresetGrid> selected = SelectPresetGrids(frame, settings.preset);
    if (!gridsFit(destination, size, selected, settings.gridThreads, out)) {
      return static_cast<int>(kVdbExportWriteFailed);
    }
    // Memory held back while the grids are built and given back before they are destroyed, so
    // that their destructors, which allocate, find some after a build that ran out.
    std::unique_ptr<char[]> spare(new (std::nothrow) char[static_cast<size_t>(
        static_cast<long long>(selected.size()) * GridTeardownBytes(size))]);
    GridBuilds builds(frame, selected, size, settings, release);
    openvdb::GridPtrVec pointGrids;
    const int written = guardedBuildAndWrite(destination, frame, settings, builds, pointGrids, out);
    spare.reset();
    return written;
  });
  if (result == kVdbExportWritten) out.reason.clear();
  return result;
}

ExportSettings PipelineExportSettings() {
  ExportSettings settings;
  settings.preset = GridPreset::Blender;
  settings.codec = VdbCodec::Blosc;
  settings.atomicWrite = true;
  settings.describeFile = true;
  return settings;
}

int ExportFrameToVdb(const char* destination, IOrv& frame, ExportedChannelRelease* release) {
  return ExportFrame(destination, frame, ExportSettings(), release);
}
