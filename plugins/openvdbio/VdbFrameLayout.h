// Where the frame of an OpenVDB import lies: the index-space box it covers, the downsampling
// stride, its resolution and its world-to-grid transform.
//
// Frame cell (i, j, k) stands for the block of `stride` voxels per axis that starts at index
// origin + stride * (i, j, k), clipped to the box. With stride 1 the grid coordinates of the frame
// are the index coordinates shifted by the origin, so a file written from a frame (whose
// index-to-world transform is the inverse of the frame's) reads back with the frame's own
// transform. With a larger stride a grid coordinate is measured in blocks from the first block's
// centre.
#pragma once

#include <openvdb/openvdb.h>

namespace OpenVdbIo {

struct FrameLayout {
  openvdb::Coord origin;
  int stride = 1;
  int size[3] = {0, 0, 0};
  // 3x3 matrix row by row, then the translation: a world point p maps to p * M + t.
  float worldToGrid[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
};

enum class LayoutResult { Ok, TooLarge, Singular };

// The smallest integer stride s >= 1 for which ceil(d/s) over the three `dims` (each >= 1) holds
// at most `maxVoxels` cells; 1 when maxVoxels < 1 (no limit).
int SmallestFittingStride(const long long dims[3], long long maxVoxels);

// Builds the layout of `box` (empty: resolution 0, the transform still set) under the row-vector
// `indexToWorld` matrix. TooLarge when a resolution exceeds the int range or the cell count could
// not be addressed; Singular when the matrix has no finite inverse.
LayoutResult MakeFrameLayout(const openvdb::CoordBBox& box, const openvdb::math::Mat4d& indexToWorld,
                             long long maxVoxels, FrameLayout& out);

// Frame cell (i, j, k) to the index position of its centre (the centre of its block of voxels),
// as a row-vector matrix: origin + stride * (i, j, k) + (stride - 1) / 2.
openvdb::math::Mat4d CellCentreToIndex(const FrameLayout& layout);

// True when both transforms are linear and their matrices agree to a relative 1e-6 (the linear
// part against its largest element, the translation against the larger of its own and that).
bool SameLinearTransform(const openvdb::math::Transform& a, const openvdb::math::Transform& b);

// The row-vector matrix of a linear transform.
openvdb::math::Mat4d LinearMatrix(const openvdb::math::Transform& transform);

}  // namespace OpenVdbIo
