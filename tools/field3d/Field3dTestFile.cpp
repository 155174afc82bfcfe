#include "tools/field3d/Field3dTestFile.h"

#include <cstring>

#include "plugins/field3dio/HalfFloat.h"
#include "plugins/field3dio/Hdf5Access.h"
#include "tools/field3d/TreeWriter.h"

namespace orv::field3d {

namespace {

long long size(const std::array<long long, 6>& box, int axis) { return box[3 + axis] - box[axis] + 1; }

int scalarBytes(ValueType type) { return type == ValueType::Half ? 2 : (type == ValueType::Float ? 4 : 8); }

void append(std::vector<unsigned char>& out, ValueType type, double value) {
  unsigned char bytes[8];
  if (type == ValueType::Half) {
    const uint16_t bits = Field3dIo::FloatToHalf(static_cast<float>(value));
    std::memcpy(bytes, &bits, 2);
  } else if (type == ValueType::Float) {
    const float f = static_cast<float>(value);
    std::memcpy(bytes, &f, 4);
  } else {
    std::memcpy(bytes, &value, 8);
  }
  out.insert(out.end(), bytes, bytes + scalarBytes(type));
}

long long blockSide(const TestLayer& layer) { return 1ll << layer.blockOrder; }

long long blocksAlong(const TestLayer& layer, int axis) {
  return (size(layer.window, axis) + blockSide(layer) - 1) / blockSide(layer);
}

long long blockOf(const TestLayer& layer, long long i, long long j, long long k) {
  const int order = layer.blockOrder;
  const long long bi = (i - layer.window[0]) >> order, bj = (j - layer.window[1]) >> order,
                  bk = (k - layer.window[2]) >> order;
  return bi + blocksAlong(layer, 0) * (bj + blocksAlong(layer, 1) * bk);
}

std::vector<long long> triple(const std::array<long long, 6>& box, int first) {
  return {box[first], box[first + 1], box[first + 2]};
}

// The values of a dense layer or a MAC face array (`face` 0..2 adds one along that axis).
std::vector<unsigned char> denseValues(const TestLayer& layer, int face) {
  std::vector<unsigned char> out;
  const long long n[3] = {size(layer.window, 0) + (face == 0), size(layer.window, 1) + (face == 1),
                          size(layer.window, 2) + (face == 2)};
  const int components = face >= 0 ? 1 : layer.components;
  for (long long k = 0; k < n[2]; ++k) {
    for (long long j = 0; j < n[1]; ++j) {
      for (long long i = 0; i < n[0]; ++i) {
        for (int c = 0; c < components; ++c) {
          append(out, layer.type, layer.value(face >= 0 ? face : c, layer.window[0] + i, layer.window[1] + j, layer.window[2] + k));
        }
      }
    }
  }
  return out;
}

void writeSparse(TreeWriter& writer, TreeWriter::Node node, const TestLayer& layer, bool ogawa) {
  const long long side = blockSide(layer), res[3] = {blocksAlong(layer, 0), blocksAlong(layer, 1), blocksAlong(layer, 2)};
  const long long count = res[0] * res[1] * res[2];
  std::vector<unsigned char> stored, empties;
  std::vector<std::vector<unsigned char>> blocks;
  for (long long b = 0; b < count; ++b) {
    stored.push_back(layer.stored(b) ? 1 : 0);
    for (int c = 0; c < layer.components; ++c) append(empties, layer.type, layer.emptyValue(c, b));
    if (!stored.back()) continue;
    // A whole block; voxels past the window hold the block's empty value, as Field3D leaves them.
    std::vector<unsigned char> block;
    const long long origin[3] = {layer.window[0] + (b % res[0]) * side, layer.window[1] + (b / res[0] % res[1]) * side,
                                 layer.window[2] + b / (res[0] * res[1]) * side};
    for (long long k = 0; k < side; ++k) {
      for (long long j = 0; j < side; ++j) {
        for (long long i = 0; i < side; ++i) {
          const long long at[3] = {origin[0] + i, origin[1] + j, origin[2] + k};
          const bool inside = at[0] <= layer.window[3] && at[1] <= layer.window[4] && at[2] <= layer.window[5];
          for (int c = 0; c < layer.components; ++c) {
            append(block, layer.type, inside ? layer.value(c, at[0], at[1], at[2]) : layer.emptyValue(c, b));
          }
        }
      }
    }
    blocks.push_back(std::move(block));
  }
  const int small = ogawa ? kUint8 : kInt32, counter = ogawa ? kUint32 : kInt32;
  writer.integers(node, "components", {layer.components}, small);
  writer.integers(node, "bits_per_component", {8ll * scalarBytes(layer.type)}, small);
  writer.integers(node, "block_order", {layer.blockOrder}, small);
  writer.integers(node, "num_blocks", {count}, counter);
  writer.integers(node, "block_res", {res[0], res[1], res[2]}, ogawa ? kVecInt32 : kInt32);
  if (ogawa) writer.integers(node, "data_is_compressed", {1}, kUint8);
  writer.values(node, "block_is_allocated_data", stored, kUint8);
  writer.values(node, "block_empty_value_data", empties, ValueTypeCode(layer.type, layer.components));
  writer.integers(node, "num_occupied_blocks", {static_cast<long long>(blocks.size())}, counter);
  writer.blocks(node, "data", blocks, ValueTypeCode(layer.type, layer.components));
}

void writeLayer(TreeWriter& writer, TreeWriter::Node partition, const TestLayer& layer, bool ogawa) {
  const TreeWriter::Node node = writer.group(partition, layer.name);
  writer.text(node, "class_type", "field3d_layer");
  writer.group(node, "metadata");
  static const char* const kClasses[] = {"DenseField", "SparseField", "MACField"};
  writer.text(node, "class_name", kClasses[static_cast<int>(layer.kind)]);
  if (ogawa && layer.kind == LayerKind::Mac) return;  // the library writes MAC layers to Ogawa as stubs
  writer.integers(node, "version", {1}, kInt32);
  if (ogawa) {
    writer.integers(node, "extents_min", triple(layer.extents, 0), kVecInt32);
    writer.integers(node, "extents_max", triple(layer.extents, 3), kVecInt32);
    writer.integers(node, "data_window_min", triple(layer.window, 0), kVecInt32);
    writer.integers(node, "data_window_max", triple(layer.window, 3), kVecInt32);
  } else {
    writer.integers(node, "extents", std::vector<long long>(layer.extents.begin(), layer.extents.end()), kInt32);
    writer.integers(node, "data_window", std::vector<long long>(layer.window.begin(), layer.window.end()), kInt32);
  }
  if (layer.kind == LayerKind::Sparse) return writeSparse(writer, node, layer, ogawa);
  writer.integers(node, "components", {layer.components}, kInt32);
  writer.integers(node, "bits_per_component", {8ll * scalarBytes(layer.type)}, kInt32);
  if (layer.kind == LayerKind::Dense) {
    writer.values(node, "data", denseValues(layer, -1), ValueTypeCode(layer.type, layer.components));
    return;
  }
  static const char* const kFaces[3] = {"u_data", "v_data", "w_data"};
  for (int face = 0; face < 3; ++face) writer.values(node, kFaces[face], denseValues(layer, face), ValueTypeCode(layer.type, 1));
}

void writeMapping(TreeWriter& writer, TreeWriter::Node partition, const TestMapping& mapping) {
  const TreeWriter::Node node = writer.group(partition, "mapping");
  if (mapping.kind == MappingKind::Null) {
    writer.text(node, "mapping_type", "NullFieldMapping");
    writer.text(node, "NullFieldMapping data", "NullFieldMapping has no data");
    return;
  }
  writer.text(node, "mapping_type", "MatrixFieldMapping");
  writer.integers(node, "num_time_samples", {static_cast<long long>(mapping.samples.size())}, kInt32);
  for (size_t s = 0; s < mapping.samples.size(); ++s) {
    writer.reals(node, "time_" + std::to_string(s), {mapping.samples[s].first}, kFloat32);
    writer.reals(node, "matrix_" + std::to_string(s),
                 std::vector<double>(mapping.samples[s].second.begin(), mapping.samples[s].second.end()), kMatrix);
  }
}

bool write(const TestFile& file, TreeWriter& writer, bool ogawa) {
  writer.integers(writer.root(), "version_number", {1, 7, 3}, ogawa ? kVecInt32 : kInt32);
  for (const TestPartition& partition : file.partitions) {
    const TreeWriter::Node node = writer.group(writer.root(), partition.group);
    writeMapping(writer, node, partition.mapping);
    writer.text(node, "is_field3d_partition", "1");
    for (const TestLayer& layer : partition.layers) writeLayer(writer, node, layer, ogawa);
  }
  return writer.finish();
}

}  // namespace

int ValueTypeCode(ValueType type, int components) {
  const int scalar = type == ValueType::Half ? kHalf : (type == ValueType::Float ? kFloat32 : kFloat64);
  return components == 3 ? scalar + 3 : scalar;
}

TestMapping ScaledMapping(const std::array<double, 3>& scale, const std::array<double, 3>& offset) {
  std::array<double, 16> m{{scale[0], 0, 0, 0, 0, scale[1], 0, 0, 0, 0, scale[2], 0, offset[0], offset[1], offset[2], 1}};
  TestMapping mapping;
  mapping.samples.push_back({0.0f, m});
  return mapping;
}

std::vector<unsigned char> OgawaBytes(const TestFile& file) {
  std::vector<unsigned char> bytes;
  write(file, *MakeOgawaWriter(std::string(), file.unfinished, &bytes), true);
  return bytes;
}

bool CanWrite(Container container) { return container == Container::Ogawa || Field3dIo::Hdf5Available(); }

bool WriteTestFile(const TestFile& file, Container container, const std::string& path) {
  std::unique_ptr<TreeWriter> writer =
      container == Container::Ogawa ? MakeOgawaWriter(path, file.unfinished, nullptr) : MakeHdf5Writer(path);
  return writer && write(file, *writer, container == Container::Ogawa);
}

float Stored(ValueType type, double value) {
  if (type == ValueType::Half) return Field3dIo::HalfToFloat(Field3dIo::FloatToHalf(static_cast<float>(value)));
  return static_cast<float>(value);
}

float ExpectedVoxel(const TestLayer& layer, int c, long long i, long long j, long long k) {
  if (layer.kind == LayerKind::Mac) {
    const long long next[3] = {i + (c == 0), j + (c == 1), k + (c == 2)};
    const double a = Stored(layer.type, layer.value(c, i, j, k)), b = Stored(layer.type, layer.value(c, next[0], next[1], next[2]));
    return Stored(layer.type, static_cast<float>(a + b) * 0.5);
  }
  if (layer.kind == LayerKind::Sparse && !layer.stored(blockOf(layer, i, j, k))) {
    return Stored(layer.type, layer.emptyValue(c, blockOf(layer, i, j, k)));
  }
  return Stored(layer.type, layer.value(c, i, j, k));
}

std::array<double, 3> VoxelCentreWorld(const TestMapping& mapping, const TestLayer& layer, long long i, long long j,
                                       long long k) {
  const long long voxel[3] = {i, j, k};
  double local[3];
  for (int a = 0; a < 3; ++a) local[a] = (voxel[a] + 0.5 - layer.extents[a]) / static_cast<double>(size(layer.extents, a));
  if (mapping.kind == MappingKind::Null || mapping.samples.empty()) return {local[0], local[1], local[2]};
  // The matrix at time 0: the end sample outside the sampled times, linear between two inside.
  std::array<double, 16> m = mapping.samples.front().second;
  for (size_t s = 1; s < mapping.samples.size(); ++s) {
    const auto& a = mapping.samples[s - 1];
    const auto& b = mapping.samples[s];
    if (a.first <= 0.0f && b.first > 0.0f) {
      const double t = -a.first / static_cast<double>(b.first - a.first);
      for (int e = 0; e < 16; ++e) m[e] = a.second[e] * (1 - t) + b.second[e] * t;
    } else if (b.first <= 0.0f) {
      m = b.second;
    }
  }
  std::array<double, 3> world;
  for (int c = 0; c < 3; ++c) world[c] = local[0] * m[c] + local[1] * m[4 + c] + local[2] * m[8 + c] + m[12 + c];
  return world;
}

}  // namespace orv::field3d
