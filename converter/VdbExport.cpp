#include "converter/VdbExport.h"

#include <atomic>
#include <exception>
#include <new>

#include "converter/ChannelNames.h"
#include "converter/DenseGridBuilder.h"
#include "converter/IndexToWorld.h"
#include "converter/PointGrids.h"
#include "converter/VdbGrids.h"
#include "orv/IOrv.h"
#include "orv/ThreadManager.h"
#include "support/Log.h"

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

// One volume grid of the file: fetched from the frame, built, and its channels released.
struct GridBuild {
  const PresetGrid* preset = nullptr;
  openvdb::GridBase::Ptr grid;
  int missingChannel = -1;  // the channel that could not be expanded
  std::exception_ptr failure;
  std::atomic<bool> done{false};
};

class GridBuilds : public KUtils::BatchProcedure {
 public:
  GridBuilds(IOrv& frame, const std::vector<PresetGrid>& presets, const int size[3],
             const ExportSettings& settings, ExportedChannelRelease* release)
      : frame_(frame), builds_(presets.size()), settings_(settings), release_(release) {
    for (size_t g = 0; g < presets.size(); ++g) builds_[g].preset = &presets[g];
    for (int c = 0; c < 3; ++c) size_[c] = size[c];
  }

  // Builds every grid, on the settings' pool when it asks for more than one thread; a build that
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

  void moveGridsTo(openvdb::GridPtrVec& grids) {
    for (GridBuild& build : builds_) grids.push_back(build.grid);
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
          build.grid = BuildDenseVectorGrid(components, size_, settings_.clip);
        } else {
          build.grid = BuildDenseFloatGrid(components[0], size_, settings_.clip);
        }
        build.grid->setName(preset.name);
        describeRole(*build.grid, preset.role);
        if (settings_.halfFloat) build.grid->setSaveFloatAsHalf(true);
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

// One point grid per particle group; false with the reason in report when a group cannot be read.
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

int exportFrame(const char* destination, IOrv& frame, const ExportSettings& settings,
                ExportedChannelRelease* release, FrameExportReport& report) {
  int size[3] = {0, 0, 0};
  float worldToGrid[12];
  frame.getGridSize(size);
  frame.getTransform(worldToGrid);
  const IndexToWorldMatrix indexToWorld = IndexToWorldFromFrameTransform(worldToGrid);

  // Particles first: a group whose velocity comes from the grid samples channels that the volume
  // grids release once built.
  openvdb::GridPtrVec pointGrids;
  if (settings.particles && !buildPointGrids(frame, indexToWorld, pointGrids, report)) {
    return kVdbExportChannelMissing;
  }
  const std::vector<PresetGrid> selected = SelectPresetGrids(frame, settings.preset);
  GridBuilds builds(frame, selected, size, settings, release);
  builds.buildAll();
  if (const int failure = builds.firstFailure(report)) return failure;
  openvdb::GridPtrVec grids;
  builds.moveGridsTo(grids);
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

}  // namespace

int ExportFrame(const char* destination, IOrv& frame, const ExportSettings& settings,
                ExportedChannelRelease* release, FrameExportReport* report) {
  FrameExportReport local;
  FrameExportReport& out = report ? *report : local;
  if (!destination) destination = "";
  try {
    openvdb::initialize();
    return exportFrame(destination, frame, settings, release, out);
  } catch (const openvdb::IoError& error) {
    LogMessage("#VDB export: cannot write %s: %s\n", destination, error.what());
    out.reason = error.what();
    return kVdbExportWriteFailed;
  } catch (const std::bad_alloc&) {
    LogMessage("#VDB export: out of memory while converting to %s\n", destination);
    out.reason = "out of memory";
    return kVdbExportFailed;
  } catch (const std::exception& error) {
    LogMessage("#VDB export: conversion to %s failed: %s\n", destination, error.what());
    out.reason = error.what();
    return kVdbExportFailed;
  } catch (...) {
    LogMessage("#VDB export: conversion to %s failed\n", destination);
    out.reason = "unknown failure";
    return kVdbExportFailed;
  }
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
