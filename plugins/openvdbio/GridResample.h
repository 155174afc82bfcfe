// Sampling a grid at the centres of the frame's cells: for grids whose transform differs from the
// frame's, and for staggered vec3 grids, whose components sit on the faces of their voxels.
#pragma once

#include <openvdb/openvdb.h>

#include "plugins/ParallelRunner.h"
#include "plugins/openvdbio/VdbGridTypes.h"
#include "support/DecodeBudget.h"

namespace OpenVdbIo {

struct CellPlacement {
  // Frame cell (i, j, k) to the index position of its centre in the frame's own index space, as a
  // row-vector matrix (VdbFrameLayout.h: CellCentreToIndex).
  openvdb::math::Mat4d cellToIndex;
  // The frame's index-to-world transform (linear).
  const openvdb::math::Transform* frameTransform = nullptr;
  int size[3] = {0, 0, 0};
};

// Fills the targets with `grid`'s value at every cell centre, sampled by OpenVDB's own samplers in
// the grid's index space: BoxSampler (trilinear between the eight nearest voxels) for scalar and
// vec3 grids of every class, StaggeredBoxSampler for a staggered grid (each component trilinear
// between its faces, so at a voxel's centre the mean of its two faces). `sameTransform` says the
// grid shares the frame's transform (a staggered grid on the frame's voxels). Cells whose position
// lies beyond the index range a grid can address get the background.
//
// An axis-aligned affine placement reads a dense copy of the region it samples, when that region
// holds at most a few times the frame's cells and `budget` grants its memory, and blends a row at
// a time with the sampler's own arithmetic, so the values are bit for bit those of the sampler;
// otherwise every cell is sampled through the tree. False when `grid`'s transform cannot be
// inverted.
bool SampleGridAtCells(const openvdb::GridBase& grid, bool sameTransform, const CellPlacement& placement,
                       const ChannelTargets& targets, ParallelRunner& runner, orv::DecodeBudget& budget);

// True when `grid`'s index-to-world transform can be inverted, so it can be sampled in world space.
bool CanBeSampled(const openvdb::GridBase& grid);

}  // namespace OpenVdbIo
