// Reading a Field3D file into a frame, and listing the grids it offers.
#pragma once

#include "orv/CacheIO.h"
#include "orv/ThreadManager.h"
#include "plugins/field3dio/Field3dContainer.h"

class CorvaneFrameData;

namespace Field3dIo {

struct Field3dImportRequest {
  const char* path = "";  // for messages and the frame number
  bool headerOnly = false;
  const CacheIO::GridMapping* mappings = nullptr;
  int mappingCount = 0;
  KUtils::ThreadManager* manager = nullptr;  // null: everything on the calling thread
  // Floats the frame's channels and resampling volumes may take together.
  long long maxFloats = 0;
};

// The floats `frame` may still take: what its decode budget (the process-wide cap on decoded
// bytes) has left. The file's own windows size the frame; this only bounds the sum.
long long FloatsLeftFor(const CorvaneFrameData& frame);

// Fills `frame` from the layers the mappings name (ChannelNames.h gives the names):
//  - the first served mapping's layer sets the frame: its mapping gives the transform, and the
//    union of the data windows of the mapped layers with the same voxel-to-world map gives the
//    cells, frame cell (i, j, k) being voxel min + (i, j, k) of that union; cells outside a
//    layer's window hold 0;
//  - a mapped layer with another voxel-to-world map is resampled at the frame's cell centres (left
//    out with a log line when its window exceeds what the decode budget leaves);
//  - header-only sets resolution, transform and channel mask bits and reads no voxel values;
//  - a mapping whose id is not a plain grid channel (0..30 except the packed colour 18) or whose
//    grid the file lacks is skipped; the first mapping of a channel wins;
//  - the frame number comes from the file name when it holds one.
// Returns a code of plugins/ImportCodes.h; every failure is also a "#field3dio:" log line.
int ImportField3dFrame(Field3dContainer& file, const Field3dImportRequest& request, CorvaneFrameData& frame);

// Appends the file's grids to `out`: flag 0 for scalar layers, 1 for vector components.
int ListField3dChannels(Field3dContainer& file, const char* path, CacheIO::AvailableChannelArray& out);

}  // namespace Field3dIo
