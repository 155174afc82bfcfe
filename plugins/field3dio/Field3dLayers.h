// The layers of a Field3D file, read from its tree whichever container holds it.
//
// The root holds one group per partition ("<name>.<n>"; the two groups field3d_global_metadata and
// field3d_group_membership are not partitions). A partition holds its mapping in the group
// "mapping" and one group per layer. A layer names its class (DenseField, SparseField, MACField),
// its layout version (1), its extents and data window (inclusive voxel boxes; the window is what is
// stored), its components (1 or 3) and, by class, its data.
//
// Both containers' spellings are accepted: the boxes as "extents"/"data_window" (six integers) or
// "extents_min"/"extents_max"/"data_window_min"/"data_window_max" (three each), and any integer
// type for the small integer attributes.
#pragma once

#include <string>
#include <vector>

#include "plugins/field3dio/Field3dContainer.h"
#include "plugins/field3dio/Matrix4.h"

namespace Field3dIo {

// An inclusive box of voxel coordinates; empty when a max is below its min.
struct VoxelBox {
  long long min[3] = {0, 0, 0};
  long long max[3] = {-1, -1, -1};

  long long size(int axis) const { return max[axis] >= min[axis] ? max[axis] - min[axis] + 1 : 0; }
  bool empty() const { return size(0) == 0 || size(1) == 0 || size(2) == 0; }
  // nx * ny * nz; the layer checks guarantee it fits.
  long long voxels() const { return size(0) * size(1) * size(2); }
  // The smallest box holding both (an empty box adds nothing).
  void expand(const VoxelBox& other);
  VoxelBox intersection(const VoxelBox& other) const;
};

enum class LayerClass { Dense, Sparse, Mac };

struct Field3dLayer {
  std::string partition;  // the partition's group name, unique in the file ("fluid.1")
  std::string name;
  NodeId node = -1;
  LayerClass kind = LayerClass::Dense;
  int components = 1;
  VoxelBox extents;
  VoxelBox window;
  Matrix4 voxelToWorld;  // voxel-space corner coordinates to world
  // Sparse layers: blocks of 2^blockOrder voxels per side, counted from the window's min.
  int blockOrder = 0;
  long long blockRes[3] = {0, 0, 0};
  long long blockCount = 0;
  long long occupiedBlocks = 0;
};

// Appends the readable layers of the file, partitions and layers in stored order. A layer or
// partition that cannot be read is left out and its reason appended to `skipped`
// ("layer fluid.0/vel: ..."). False, with the container's reason, only when the root cannot be listed.
bool ListLayers(Field3dContainer& file, std::vector<Field3dLayer>& layers, std::vector<std::string>& skipped);

}  // namespace Field3dIo
