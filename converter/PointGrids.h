// A frame's particle group as an OpenVDB point grid.
#pragma once

#include <openvdb/openvdb.h>

#include <string>

class ICorvanePrtGroup;

struct PointGridResult {
  openvdb::GridBase::Ptr grid;  // null when the group could not be read (see error)
  long long points = 0;         // points written
  long long dropped = 0;        // particles left out for a position that is not finite or that
                                // lies beyond the index range of a grid
  std::string error;
};

// A point grid named after the group, with the given index-to-world transform. Particle positions
// are grid coordinates (cell (i, j, k) at the point (i, j, k)), so the points land where the
// frame's converted voxels are. Attributes: "P", "v" (the stored velocity, or the one the group
// samples from the frame's velocity grid), "id", and "channel<n>" for every other channel that
// holds data, with its own value type (float, vec3, int64 or 32-bit words).
PointGridResult BuildPointGrid(ICorvanePrtGroup& group,
                               const openvdb::math::Transform& indexToWorld);
