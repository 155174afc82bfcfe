// A partition's mapping: where its voxels lie in the world.
//
// Field3D's local space is the unit cube over a layer's extents; the mapping gives local-to-world.
// NullFieldMapping is the identity; MatrixFieldMapping holds time samples of a matrix (none means
// the identity; the static transform is the curve at time 0: the nearest end sample outside the
// sampled range, linear between neighbours inside), or in files before 1.3 one matrix
// "MatrixFieldMapping data". Frustum mappings are not affine and are not read.
#pragma once

#include <string>

#include "plugins/field3dio/Field3dContainer.h"
#include "plugins/field3dio/Matrix4.h"

namespace Field3dIo {

// Local-to-world at time 0 of the mapping group `mapping`; false with `reason` when the mapping
// is of a kind this reader does not place, or damaged.
bool ReadLocalToWorld(Field3dContainer& file, NodeId mapping, Matrix4& localToWorld, std::string& reason);

// Voxel-to-world of a layer with inclusive `extents` (each axis at least one voxel) under
// `localToWorld`: voxel-space v maps to local (v - extentsMin) / (extentsMax - extentsMin + 1).
Matrix4 VoxelToWorld(const long long extentsMin[3], const long long extentsMax[3], const Matrix4& localToWorld);

}  // namespace Field3dIo
