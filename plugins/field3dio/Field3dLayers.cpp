#include "plugins/field3dio/Field3dLayers.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "plugins/field3dio/FieldMapping.h"

namespace Field3dIo {

namespace {

constexpr int kLayoutVersion = 1;
// 2^20 voxels per block side is far beyond any real file and keeps a block's voxel count in range.
constexpr long long kMaxBlockOrder = 20;

bool isValueKind(ScalarKind kind) {
  return kind == ScalarKind::Half || kind == ScalarKind::Float || kind == ScalarKind::Double;
}

bool multiply(long long a, long long b, long long& out) { return !__builtin_mul_overflow(a, b, &out); }

bool fitsInt(long long value) { return value >= INT_MIN && value <= INT_MAX; }

// Reads a layer's extents and data window in either spelling.
bool readBoxes(Field3dContainer& file, NodeId node, VoxelBox& extents, VoxelBox& window) {
  long long a[6], b[6];
  if (file.integers(node, "extents", a, 6) && file.integers(node, "data_window", b, 6)) {
    for (int axis = 0; axis < 3; ++axis) {
      extents.min[axis] = a[axis];
      extents.max[axis] = a[3 + axis];
      window.min[axis] = b[axis];
      window.max[axis] = b[3 + axis];
    }
    return true;
  }
  return file.integers(node, "extents_min", extents.min, 3) && file.integers(node, "extents_max", extents.max, 3) &&
         file.integers(node, "data_window_min", window.min, 3) &&
         file.integers(node, "data_window_max", window.max, 3);
}

bool boxInRange(const VoxelBox& box) {
  for (int axis = 0; axis < 3; ++axis) {
    if (!fitsInt(box.min[axis]) || !fitsInt(box.max[axis])) return false;
  }
  return true;
}

// The value dataset `name` holds `scalars` values of a layer with `components` components.
bool valuesFit(const DatasetShape& shape, int components) {
  return isValueKind(shape.scalar) && (shape.typeComponents == 0 || shape.typeComponents == components);
}

class LayerReader {
 public:
  LayerReader(Field3dContainer& file, Field3dLayer& layer) : file_(file), layer_(layer) {}

  // True when the layer can be read; otherwise `reason` says why.
  bool read(std::string& reason) {
    std::string className;
    if (!file_.text(layer_.node, "class_name", className)) return refuse(reason, "it has no class name");
    if (className == "DenseField") {
      layer_.kind = LayerClass::Dense;
    } else if (className == "SparseField") {
      layer_.kind = LayerClass::Sparse;
    } else if (className == "MACField") {
      layer_.kind = LayerClass::Mac;
    } else {
      return refuse(reason, "its class " + className + " is not read");
    }
    long long version = 0;
    if (!file_.integers(layer_.node, "version", &version, 1)) return refuse(reason, "it holds no data");
    if (version != kLayoutVersion) return refuse(reason, "its layout version " + std::to_string(version) + " is unknown");
    if (!readBoxes(file_, layer_.node, layer_.extents, layer_.window)) return refuse(reason, "it has no extents or data window");
    if (!boxInRange(layer_.extents) || !boxInRange(layer_.window)) return refuse(reason, "its boxes lie outside the int range");
    if (layer_.extents.empty()) return refuse(reason, "its extents are empty");
    if (!multiply(layer_.window.size(0), layer_.window.size(1), voxels_) || !multiply(voxels_, layer_.window.size(2), voxels_)) {
      return refuse(reason, "its data window is too large");
    }
    long long components = 0;
    if (!file_.integers(layer_.node, "components", &components, 1) || (components != 1 && components != 3)) {
      return refuse(reason, "it has neither 1 nor 3 components");
    }
    layer_.components = static_cast<int>(components);
    switch (layer_.kind) {
      case LayerClass::Dense: return checkDense(reason);
      case LayerClass::Sparse: return checkSparse(reason);
      case LayerClass::Mac: return checkMac(reason);
    }
    return false;
  }

 private:
  static bool refuse(std::string& reason, const std::string& why) {
    reason = why;
    return false;
  }

  bool describeValues(const char* name, DatasetShape& shape, std::string& reason) {
    if (!file_.describe(layer_.node, name, shape)) {
      return refuse(reason, std::string("its dataset ") + name + " is missing or unreadable");
    }
    if (!valuesFit(shape, layer_.components)) return refuse(reason, std::string("its dataset ") + name + " has another value type");
    return true;
  }

  bool checkDense(std::string& reason) {
    DatasetShape data;
    long long scalars = 0;
    if (!describeValues("data", data, reason)) return false;
    if (data.compressed || !multiply(voxels_, layer_.components, scalars) ||
        data.scalars != static_cast<unsigned long long>(scalars)) {
      return refuse(reason, "its data does not cover its data window");
    }
    return true;
  }

  bool checkMac(std::string& reason) {
    if (layer_.components != 3) return refuse(reason, "a MAC layer must have 3 components");
    static const char* const kFaces[3] = {"u_data", "v_data", "w_data"};
    for (int axis = 0; axis < 3; ++axis) {
      DatasetShape face;
      if (!describeValues(kFaces[axis], face, reason)) return false;
      long long faces = 1;
      for (int a = 0; a < 3; ++a) {
        if (!multiply(faces, layer_.window.size(a) + (a == axis ? 1 : 0), faces)) faces = -1;
      }
      if (face.compressed || face.typeComponents == 3 || faces < 0 || face.scalars != static_cast<unsigned long long>(faces)) {
        return refuse(reason, std::string("its ") + kFaces[axis] + " does not cover its data window");
      }
    }
    return true;
  }

  bool checkSparse(std::string& reason) {
    long long order = -1, blockCount = 0, occupied = -1;
    if (!file_.integers(layer_.node, "block_order", &order, 1) || order < 0 || order > kMaxBlockOrder) {
      return refuse(reason, "its block order is missing or out of range");
    }
    layer_.blockOrder = static_cast<int>(order);
    const long long side = 1ll << order;
    if (!file_.integers(layer_.node, "block_res", layer_.blockRes, 3)) return refuse(reason, "it has no block counts");
    long long product = 1;
    for (int axis = 0; axis < 3; ++axis) {
      if (layer_.blockRes[axis] != (layer_.window.size(axis) + side - 1) / side) {
        return refuse(reason, "its block counts do not match its data window");
      }
      product *= layer_.blockRes[axis];  // at most the voxel count, which fits
    }
    if (!file_.integers(layer_.node, "num_blocks", &blockCount, 1) || blockCount != product) {
      return refuse(reason, "its block count does not match its block layout");
    }
    if (!file_.integers(layer_.node, "num_occupied_blocks", &occupied, 1) || occupied < 0 || occupied > blockCount) {
      return refuse(reason, "its count of stored blocks is missing or out of range");
    }
    layer_.blockCount = blockCount;
    layer_.occupiedBlocks = occupied;

    DatasetShape flags, empties, data;
    long long emptyScalars = 0;
    if (!file_.describe(layer_.node, "block_is_allocated_data", flags) || flags.scalar != ScalarKind::Byte ||
        flags.typeComponents == 3 || flags.scalars != static_cast<unsigned long long>(blockCount)) {
      return refuse(reason, "its table of stored blocks is missing or of another size");
    }
    if (!describeValues("block_empty_value_data", empties, reason)) return false;
    if (!multiply(blockCount, layer_.components, emptyScalars) || empties.compressed ||
        empties.scalars != static_cast<unsigned long long>(emptyScalars)) {
      return refuse(reason, "its table of empty values is of another size");
    }
    const bool hasData = file_.describe(layer_.node, "data", data);
    if (occupied == 0 && !hasData) return true;
    if (!hasData) return refuse(reason, "its stored blocks are missing");
    if (!valuesFit(data, layer_.components)) return refuse(reason, "its dataset data has another value type");
    if (data.elements != static_cast<unsigned long long>(occupied)) {
      return refuse(reason, "it stores another number of blocks than it counts");
    }
    long long blockScalars = 0, scalars = 0;
    if (!multiply(side * side * side, layer_.components, blockScalars) || !multiply(blockScalars, occupied, scalars)) {
      return refuse(reason, "its blocks are too large");
    }
    if (!data.compressed && data.scalars != static_cast<unsigned long long>(scalars)) {
      return refuse(reason, "its stored blocks are of another size");
    }
    return true;
  }

  Field3dContainer& file_;
  Field3dLayer& layer_;
  long long voxels_ = 0;
};

bool isReservedGroup(const std::string& name) {
  return name == "field3d_global_metadata" || name == "field3d_group_membership";
}

void listPartition(Field3dContainer& file, const NamedGroup& partition, std::vector<Field3dLayer>& layers,
                   std::vector<std::string>& skipped) {
  NodeId mapping = -1;
  Matrix4 localToWorld;
  std::string mappingReason;
  if (!file.findGroup(partition.node, "mapping", mapping)) {
    mappingReason = "its partition has no mapping";
  } else {
    ReadLocalToWorld(file, mapping, localToWorld, mappingReason);
  }
  std::vector<NamedGroup> children;
  if (!file.groups(partition.node, children)) {
    skipped.push_back("partition " + partition.name + ": " + file.reason());
    return;
  }
  for (const NamedGroup& child : children) {
    if (child.name == "mapping") continue;
    std::string classType;
    if (file.text(child.node, "class_type", classType) && classType != "field3d_layer") continue;
    Field3dLayer layer;
    layer.partition = partition.name;
    layer.name = child.name;
    layer.node = child.node;
    std::string reason = mappingReason;
    if (reason.empty() && layer.name.empty()) reason = "it has no name";
    if (reason.empty() && LayerReader(file, layer).read(reason)) {
      layer.voxelToWorld = VoxelToWorld(layer.extents.min, layer.extents.max, localToWorld);
      Matrix4 inverse;
      if (InvertAffine(layer.voxelToWorld, inverse)) {
        layers.push_back(layer);
        continue;
      }
      reason = "its mapping cannot be inverted";
    }
    skipped.push_back("layer " + partition.name + "/" + layer.name + ": " + reason);
  }
}

}  // namespace

void VoxelBox::expand(const VoxelBox& other) {
  if (other.empty()) return;
  if (empty()) {
    *this = other;
    return;
  }
  for (int axis = 0; axis < 3; ++axis) {
    min[axis] = std::min(min[axis], other.min[axis]);
    max[axis] = std::max(max[axis], other.max[axis]);
  }
}

VoxelBox VoxelBox::intersection(const VoxelBox& other) const {
  VoxelBox out;
  for (int axis = 0; axis < 3; ++axis) {
    out.min[axis] = std::max(min[axis], other.min[axis]);
    out.max[axis] = std::min(max[axis], other.max[axis]);
  }
  return out;
}

bool ListLayers(Field3dContainer& file, std::vector<Field3dLayer>& layers, std::vector<std::string>& skipped) {
  std::vector<NamedGroup> partitions;
  if (!file.groups(file.root(), partitions)) return false;
  for (const NamedGroup& partition : partitions) {
    if (!isReservedGroup(partition.name)) listPartition(file, partition, layers, skipped);
  }
  return true;
}

}  // namespace Field3dIo
