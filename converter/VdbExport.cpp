#include "converter/VdbExport.h"

#include <exception>
#include <memory>
#include <new>

#include "converter/ExportedGrids.h"
#include "converter/IndexToWorld.h"
#include "converter/VdbGrids.h"
#include "orv/IOrv.h"
#include "support/ExceptionGuard.h"
#include "support/Log.h"
#include "support/platform/Platform.h"

namespace {

// Whether the grids of the frame, with one decoded channel and the spare memory beside them, can
// be allocated now; a frame that cannot is refused before any grid is built.
bool gridsFit(const char* destination, const int size[3], size_t gridCount) {
  if (gridCount == 0) return true;
  const long long channelBytes = 4ll * size[0] * size[1] * size[2];
  const long long needed = static_cast<long long>(gridCount) * FloatGridBytes(size) + channelBytes +
                           static_cast<long long>(gridCount) * FloatGridTeardownBytes(size);
  if (orv::platform::CanAllocate(needed)) return true;
  LogMessage("#VDB export: the %zu grids of %s (%d x %d x %d) need about %lld bytes, which cannot "
             "be allocated\n", gridCount, destination, size[0], size[1], size[2], needed);
  return false;
}

int buildAndWrite(const char* destination, IOrv& frame, const int size[3],
                  const std::vector<ExportedGrid>& selected, openvdb::GridPtrVec& grids,
                  ExportedChannelRelease* release) {
  float worldToGrid[12];
  frame.getTransform(worldToGrid);
  const IndexToWorldMatrix indexToWorld = IndexToWorldFromFrameTransform(worldToGrid);
  for (const ExportedGrid& exported : selected) {
    const float* values = frame.getChannel(exported.channelId);
    if (!values) return kVdbExportChannelMissing;
    openvdb::FloatGrid::Ptr grid = openvdb::FloatGrid::create(0.0f);
    grid->setName(exported.name);
    grids.push_back(grid);
    FillFloatGrid(*grid, values, size);
    if (release) release->channelBuilt(frame, exported.channelId);
  }
  if (!grids.empty()) {
    if (indexToWorld.singular) {
      LogMessage("#VDB export: the grid transform of %s cannot be inverted; identity written\n",
                 destination);
    }
    AssignIndexToWorld(grids, indexToWorld);
  }
  WriteVdbFile(destination, grids);
  return kVdbExportWritten;
}

// Builds and writes into `grids`, which the caller holds: an exception stops here, so no grid is
// destroyed while it unwinds.
int guardedBuildAndWrite(const char* destination, IOrv& frame, const int size[3],
                         const std::vector<ExportedGrid>& selected, openvdb::GridPtrVec& grids,
                         ExportedChannelRelease* release) {
  try {
    openvdb::initialize();
    return buildAndWrite(destination, frame, size, selected, grids, release);
  } catch (const openvdb::IoError& error) {
    LogMessage("#VDB export: cannot write %s: %s\n", destination, error.what());
    return kVdbExportWriteFailed;
  } catch (const std::bad_alloc&) {
    LogMessage("#VDB export: out of memory while converting to %s\n", destination);
    return kVdbExportWriteFailed;
  } catch (const std::exception& error) {
    LogMessage("#VDB export: conversion to %s failed: %s\n", destination, error.what());
    return kVdbExportFailed;
  } catch (...) {
    LogMessage("#VDB export: conversion to %s failed\n", destination);
    return kVdbExportFailed;
  }
}

}  // namespace

int ExportFrameToVdb(const char* destination, IOrv& frame, ExportedChannelRelease* release) {
  if (!destination) destination = "";
  return orv::GuardedCall("VDB export", static_cast<int>(kVdbExportFailed), [&] {
    int size[3] = {0, 0, 0};
    frame.getGridSize(size);
    const std::vector<ExportedGrid> selected = SelectExportedGrids(frame);
    if (!gridsFit(destination, size, selected.size())) return static_cast<int>(kVdbExportWriteFailed);
    // Memory held back while the grids are built and given back before they are destroyed, so
    // that their destructors, which allocate, find some after a build that ran out.
    std::unique_ptr<char[]> spare(new (std::nothrow) char[static_cast<size_t>(
        static_cast<long long>(selected.size()) * FloatGridTeardownBytes(size))]);
    openvdb::GridPtrVec grids;
    grids.reserve(selected.size());
    const int result = guardedBuildAndWrite(destination, frame, size, selected, grids, release);
    spare.reset();
    grids.clear();
    return result;
  });
}
