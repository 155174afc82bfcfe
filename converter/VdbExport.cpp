#include "converter/VdbExport.h"

#include <exception>
#include <new>

#include "converter/ExportedGrids.h"
#include "converter/IndexToWorld.h"
#include "converter/VdbGrids.h"
#include "orv/IOrv.h"
#include "support/Log.h"

namespace {

int exportFrame(const char* destination, IOrv& frame, ExportedChannelRelease* release) {
  int size[3] = {0, 0, 0};
  float worldToGrid[12];
  frame.getGridSize(size);
  frame.getTransform(worldToGrid);
  const IndexToWorldMatrix indexToWorld = IndexToWorldFromFrameTransform(worldToGrid);

  const std::vector<ExportedGrid> selected = SelectExportedGrids(frame);
  openvdb::GridPtrVec grids;
  grids.reserve(selected.size());
  for (const ExportedGrid& exported : selected) {
    const float* values = frame.getChannel(exported.channelId);
    if (!values) return kVdbExportChannelMissing;
    grids.push_back(BuildFloatGrid(exported.name, values, size));
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

}  // namespace

int ExportFrameToVdb(const char* destination, IOrv& frame, ExportedChannelRelease* release) {
  if (!destination) destination = "";
  try {
    openvdb::initialize();
    return exportFrame(destination, frame, release);
  } catch (const openvdb::IoError& error) {
    LogMessage("#VDB export: cannot write %s: %s\n", destination, error.what());
    return kVdbExportWriteFailed;
  } catch (const std::bad_alloc&) {
    LogMessage("#VDB export: out of memory while converting to %s\n", destination);
    return kVdbExportFailed;
  } catch (const std::exception& error) {
    LogMessage("#VDB export: conversion to %s failed: %s\n", destination, error.what());
    return kVdbExportFailed;
  } catch (...) {
    LogMessage("#VDB export: conversion to %s failed\n", destination);
    return kVdbExportFailed;
  }
}
