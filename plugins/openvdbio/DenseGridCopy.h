// Dense copy of a grid that shares the frame's transform into the frame's channels.
#pragma once

#include <openvdb/openvdb.h>

#include "plugins/ParallelRunner.h"
#include "plugins/openvdbio/VdbFrameLayout.h"
#include "plugins/openvdbio/VdbGridTypes.h"
#include "support/DecodeBudget.h"

namespace OpenVdbIo {

// Fills the targets from `grid` (a type of VdbGridTypes.h) over the frame's cells of `box` (not
// empty): each cell gets the mean of its block of voxels inside the box (one voxel at stride 1).
// Voxels that are not active contribute the tree's value there (its background, tile or leaf
// value). The work follows the cells and the tree's stored leaves and tiles, shared among the
// runner's jobs. False, with a '#' line naming `path`, when `budget` refuses the work areas of a
// downsampled copy.
bool CopyGridToChannels(const openvdb::GridBase& grid, const openvdb::CoordBBox& box, const FrameLayout& layout,
                        const ChannelTargets& targets, ParallelRunner& runner, orv::DecodeBudget& budget,
                        const char* path);

}  // namespace OpenVdbIo
