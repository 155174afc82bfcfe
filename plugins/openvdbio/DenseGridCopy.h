// Dense copy of one grid channel into a frame channel, in parallel on a thread manager.
#pragma once

#include <openvdb/openvdb.h>

#include "orv/ThreadManager.h"
#include "plugins/openvdbio/VdbFrameLayout.h"

namespace OpenVdbIo {

struct ValueRange {
  float low;
  float high;
};

// Fills `out` (layout.size cells, x fastest) from `grid`: a float grid (component -1) or one
// component of a vec3 grid. Each cell gets the mean of its block of voxels inside `box`; voxels
// that are not active contribute the tree's value there (its background or tile value). Rows of
// cells are shared among jobs on `manager` (null: the calling thread). Returns the value range
// of the copy. False when the grid is of another type.
bool CopyGridDensely(const openvdb::GridBase& grid, int component, const openvdb::CoordBBox& box,
                     const FrameLayout& layout, float* out, KUtils::ThreadManager* manager,
                     ValueRange& range);

}  // namespace OpenVdbIo
