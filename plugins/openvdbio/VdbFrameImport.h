// Reading an OpenVDB file into a frame, and listing the channels it offers.
#pragma once

#include "orv/CacheIO.h"
#include "orv/ThreadManager.h"

class CorvaneFrameData;

namespace OpenVdbIo {

struct VdbImportRequest {
  const char* path = nullptr;
  bool headerOnly = false;
  const CacheIO::GridMapping* mappings = nullptr;
  int mappingCount = 0;
  long long maxVoxels = -1;  // below 1: no limit
  KUtils::ThreadManager* manager = nullptr;
};

// Fills `frame` from the grids the mappings name (see VdbChannelCatalogue.h for the names):
//  - the resolution covers the union of the mapped grids' active voxel boxes, downsampled by the
//    smallest stride that fits maxVoxels; the transform is their common index-to-world transform
//    inverted and shifted to that box (VdbFrameLayout.h);
//  - every mapped channel is copied densely and its channel mask bit set; header-only reads the
//    grid descriptors (and the trees only when a descriptor lacks its box) and copies nothing;
//  - a mapping whose channel id is not a plain channel (0..30 except the packed colour 18) or whose
//    grid the file lacks is skipped; the first mapping of a channel wins;
//  - the frame number is taken from the file name when it has one.
// Returns a code of plugins/ImportCodes.h. Throws what OpenVDB throws (the entry points catch it).
int ImportVdbFrame(const VdbImportRequest& request, CorvaneFrameData& frame);

// Appends the channels of the file at `path` to `out`, flag 1 for vec3 components. Nothing is
// appended when the file cannot be read. Throws what OpenVDB throws.
int ListVdbChannels(const char* path, CacheIO::AvailableChannelArray& out);

}  // namespace OpenVdbIo
