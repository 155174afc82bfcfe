// Trilinear resampling of a layer whose mapping differs from the frame's.
#pragma once

#include "plugins/field3dio/Field3dLayers.h"
#include "plugins/field3dio/Matrix4.h"
#include "plugins/field3dio/ParallelRunner.h"

namespace Field3dIo {

// Fills every cell of `out` (a frame of `size` cells, x fastest) with the value of `volume` (one
// float per voxel of `window`, x fastest) at the cell's centre. `gridToVoxel` maps frame grid
// coordinates (cell centres at integers) to the layer's voxel space (voxel centres at +0.5). The
// value is trilinear between the eight nearest voxel centres, clamped to the window within half a
// voxel of its border, and 0 beyond.
void ResampleVolume(const float* volume, const VoxelBox& window, const Matrix4& gridToVoxel, const int size[3],
                    float* out, ParallelRunner& runner);

}  // namespace Field3dIo
