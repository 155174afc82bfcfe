// OpenVDB grids from a frame's dense channel arrays (nx*ny*nz floats, x fastest): float grids from
// one array, vec3 grids from three, every cell of the box an active voxel, or with clipping only
// the cells whose magnitude exceeds a tolerance.
#pragma once

#include <openvdb/openvdb.h>

#include "converter/ExportSettings.h"

// Values are copied bit for bit; the background is zero. Leaves are filled directly, one slab of
// eight z-planes at a time, reading the arrays in storage order. A non-positive size gives an
// empty grid.
openvdb::FloatGrid::Ptr BuildDenseFloatGrid(const float* values, const int size[3],
                                            const VoxelClip& clip = VoxelClip());
openvdb::Vec3SGrid::Ptr BuildDenseVectorGrid(const float* const components[3], const int size[3],
                                             const VoxelClip& clip = VoxelClip());

// The same into an empty grid the caller already holds (its background stays the inactive value),
// so that an exception thrown while it is filled never destroys a half-built grid during
// unwinding: a grid's destructor allocates, which fails again when memory ran out.
void FillDenseFloatGrid(openvdb::FloatGrid& grid, const float* values, const int size[3],
                        const VoxelClip& clip = VoxelClip());
void FillDenseVectorGrid(openvdb::Vec3SGrid& grid, const float* const components[3],
                         const int size[3], const VoxelClip& clip = VoxelClip());
