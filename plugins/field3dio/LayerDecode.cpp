#include "plugins/field3dio/LayerDecode.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

#include "plugins/field3dio/HalfFloat.h"
#include "plugins/field3dio/InflateExact.h"

namespace Field3dIo {

namespace {

// Values read per piece of a dense layer: its rows are converted while the next piece waits.
constexpr unsigned long long kDensePieceBytes = 32ull << 20;
// Inflated blocks held at once, over all jobs; with larger blocks fewer jobs inflate.
constexpr unsigned long long kBlockScratchBytes = 1ull << 30;

// Loading one stored scalar, by kind.
struct HalfValue {
  static constexpr int kBytes = 2;
  static float load(const unsigned char* p) {
    uint16_t bits;
    std::memcpy(&bits, p, 2);
    return HalfToFloat(bits);
  }
  // Field3D's MAC centre in the element type: (a + b) * 0.5 with a half sum taken in float.
  static float centre(float a, float b) { return HalfToFloat(FloatToHalf(static_cast<float>((a + b) * 0.5))); }
};
struct FloatValue {
  static constexpr int kBytes = 4;
  static float load(const unsigned char* p) {
    float value;
    std::memcpy(&value, p, 4);
    return value;
  }
  static float centre(float a, float b) { return static_cast<float>((a + b) * 0.5); }
};
struct DoubleValue {
  static constexpr int kBytes = 8;
  static double loadExact(const unsigned char* p) {
    double value;
    std::memcpy(&value, p, 8);
    return value;
  }
  static float load(const unsigned char* p) { return static_cast<float>(loadExact(p)); }
};

// Calls body(ValueType()) for the stored kind; false for a kind that holds no voxel values.
template <typename Body>
bool withValueType(ScalarKind kind, Body&& body) {
  switch (kind) {
    case ScalarKind::Half: body(HalfValue()); return true;
    case ScalarKind::Float: body(FloatValue()); return true;
    case ScalarKind::Double: body(DoubleValue()); return true;
    default: return false;
  }
}

// Positions in the target arrays.
struct TargetGrid {
  explicit TargetGrid(const VoxelBox& box) : box(box), nx(box.size(0)), ny(box.size(1)) {}
  long long index(long long i, long long j, long long k) const {
    return (i - box.min[0]) + nx * ((j - box.min[1]) + ny * (k - box.min[2]));
  }
  const VoxelBox& box;
  long long nx, ny;
};

bool refuse(std::string& reason, const std::string& why) {
  reason = why;
  return false;
}

bool decodeDense(Field3dContainer& file, const Field3dLayer& layer, const DecodeTarget& target,
                 ParallelRunner& runner, std::string& reason) {
  const VoxelBox region = layer.window.intersection(target.box);
  if (region.empty()) return true;
  DatasetShape shape;
  if (!file.describe(layer.node, "data", shape)) return refuse(reason, file.reason());
  const VoxelBox& window = layer.window;
  const int components = layer.components;
  const unsigned long long rowScalars = static_cast<unsigned long long>(window.size(0)) * components;
  const unsigned long long rowBytes = rowScalars * ScalarBytes(shape.scalar);
  // Window rows (j, k) are stored one after another; the region's rows run from the first to the
  // last of them, read in pieces of whole rows.
  const long long firstRow = (region.min[2] - window.min[2]) * window.size(1) + (region.min[1] - window.min[1]);
  const long long lastRow = (region.max[2] - window.min[2]) * window.size(1) + (region.max[1] - window.min[1]);
  const long long piece = static_cast<long long>(std::max<unsigned long long>(1, kDensePieceBytes / rowBytes));
  std::vector<unsigned char> raw(static_cast<size_t>(std::min<long long>(piece, lastRow - firstRow + 1) * rowBytes));
  const TargetGrid grid(target.box);
  bool decoded = true;
  withValueType(shape.scalar, [&](auto value) {
    using Value = decltype(value);
    for (long long row0 = firstRow; row0 <= lastRow && decoded; row0 += piece) {
      const long long rows = std::min(piece, lastRow - row0 + 1);
      if (!file.readValues(layer.node, "data", row0 * rowScalars, rows * rowScalars, raw.data())) {
        decoded = refuse(reason, file.reason());
        break;
      }
      runner.forRange(rows, [&](long long first, long long last) {
        for (long long r = first; r < last; ++r) {
          const long long j = window.min[1] + (row0 + r) % window.size(1);
          const long long k = window.min[2] + (row0 + r) / window.size(1);
          if (j < region.min[1] || j > region.max[1]) continue;
          const unsigned char* source = raw.data() + r * rowBytes +
                                        (region.min[0] - window.min[0]) * components * Value::kBytes;
          const long long at = grid.index(region.min[0], j, k);
          for (int c = 0; c < components; ++c) {
            float* out = target.component[c];
            if (!out) continue;
            for (long long i = 0; i < region.size(0); ++i) {
              out[at + i] = Value::load(source + (i * components + c) * Value::kBytes);
            }
          }
        }
      });
    }
  });
  return decoded;
}

// Face-centred values averaged to cell centres.
template <typename Value>
float faceCentre(const unsigned char* a, const unsigned char* b) {
  return Value::centre(Value::load(a), Value::load(b));
}
template <>
float faceCentre<DoubleValue>(const unsigned char* a, const unsigned char* b) {
  return static_cast<float>((DoubleValue::loadExact(a) + DoubleValue::loadExact(b)) * 0.5);
}

bool decodeMac(Field3dContainer& file, const Field3dLayer& layer, const DecodeTarget& target,
               ParallelRunner& runner, std::string& reason) {
  const VoxelBox region = layer.window.intersection(target.box);
  if (region.empty()) return true;
  static const char* const kFaces[3] = {"u_data", "v_data", "w_data"};
  const long long n[3] = {layer.window.size(0), layer.window.size(1), layer.window.size(2)};
  const TargetGrid grid(target.box);
  for (int axis = 0; axis < 3; ++axis) {
    float* out = target.component[axis];
    if (!out) continue;
    DatasetShape shape;
    if (!file.describe(layer.node, kFaces[axis], shape)) return refuse(reason, file.reason());
    std::vector<unsigned char> faces(static_cast<size_t>(shape.scalars * ScalarBytes(shape.scalar)));
    if (!file.readValues(layer.node, kFaces[axis], 0, shape.scalars, faces.data())) return refuse(reason, file.reason());
    // The face array of this axis has one more entry along it.
    const long long fx = n[0] + (axis == 0), fy = n[1] + (axis == 1);
    const long long step = axis == 0 ? 1 : (axis == 1 ? fx : fx * fy);
    withValueType(shape.scalar, [&](auto value) {
      using Value = decltype(value);
      runner.forRange(region.size(1) * region.size(2), [&](long long first, long long last) {
        for (long long r = first; r < last; ++r) {
          const long long j = region.min[1] + r % region.size(1);
          const long long k = region.min[2] + r / region.size(1);
          const long long at = grid.index(region.min[0], j, k);
          for (long long i = region.min[0]; i <= region.max[0]; ++i) {
            const long long face = (i - layer.window.min[0]) + fx * ((j - layer.window.min[1]) + fy * (k - layer.window.min[2]));
            const unsigned char* lower = faces.data() + face * Value::kBytes;
            out[at + (i - region.min[0])] = faceCentre<Value>(lower, lower + step * Value::kBytes);
          }
        }
      });
    });
  }
  return true;
}

class SparseDecoder {
 public:
  SparseDecoder(Field3dContainer& file, const Field3dLayer& layer, const DecodeTarget& target)
      : file_(file), layer_(layer), target_(target), grid_(target.box), side_(1ll << layer.blockOrder) {}

  bool run(ParallelRunner& runner, std::string& reason) {
    if (layer_.window.intersection(target_.box).empty()) return true;
    if (!readTables(reason)) return false;
    std::atomic<long long> failedBlock{-1};
    const int jobs = runner.jobs();
    // Jobs that inflate hold one block each; very large blocks leave some jobs without one.
    const unsigned long long blockBytes = blockScalars_ * ScalarBytes(dataKind_);
    const int inflating = stored_.compressed
                              ? static_cast<int>(std::max<unsigned long long>(1, std::min<unsigned long long>(jobs, kBlockScratchBytes / std::max<unsigned long long>(blockBytes, 1))))
                              : jobs;
    std::vector<std::vector<unsigned char>> scratch(stored_.compressed ? inflating : 0);
    for (auto& buffer : scratch) buffer.resize(static_cast<size_t>(blockBytes));
    bool typed = true;
    withValueType(dataKind_, [&](auto value) {
      using Value = decltype(value);
      typed = withValueType(emptyKind_, [&](auto emptyValue) {
        using Empty = decltype(emptyValue);
        runner.everyJob([&](int job, int count) {
          const int share = std::min(count, inflating);
          if (job >= share) return;
          for (long long b = job; b < layer_.blockCount && failedBlock.load() < 0; b += share) {
            if (!decodeBlock<Value, Empty>(b, stored_.compressed ? scratch[job].data() : nullptr)) failedBlock = b;
          }
        });
      });
    });
    if (!typed) return refuse(reason, "its empty values are not voxel values");
    if (failedBlock.load() >= 0) {
      return refuse(reason, "block " + std::to_string(failedBlock.load()) + " does not inflate to exactly one block");
    }
    return true;
  }

 private:
  bool readTables(std::string& reason) {
    const long long count = layer_.blockCount;
    DatasetShape emptyShape, dataShape;
    if (!file_.describe(layer_.node, "block_empty_value_data", emptyShape)) return refuse(reason, file_.reason());
    emptyKind_ = emptyShape.scalar;
    allocated_.resize(static_cast<size_t>(count));
    empties_.resize(static_cast<size_t>(emptyShape.scalars * ScalarBytes(emptyKind_)));
    if (!file_.readValues(layer_.node, "block_is_allocated_data", 0, count, allocated_.data()) ||
        !file_.readValues(layer_.node, "block_empty_value_data", 0, emptyShape.scalars, empties_.data())) {
      return refuse(reason, file_.reason());
    }
    // Block id -> row of the block table: stored blocks are numbered in increasing id.
    rowOf_.assign(static_cast<size_t>(count), -1);
    long long rows = 0;
    for (long long b = 0; b < count; ++b) {
      if (allocated_[b]) rowOf_[b] = rows++;
    }
    if (rows != layer_.occupiedBlocks) return refuse(reason, "its table of stored blocks disagrees with its count");
    blockScalars_ = static_cast<unsigned long long>(side_ * side_ * side_) * layer_.components;
    dataKind_ = emptyKind_;
    if (rows == 0) return true;
    if (!file_.describe(layer_.node, "data", dataShape) || !file_.readBlocks(layer_.node, "data", stored_)) {
      return refuse(reason, file_.reason());
    }
    dataKind_ = dataShape.scalar;
    if (stored_.count() != static_cast<size_t>(rows)) return refuse(reason, "it stores another number of blocks than it counts");
    const unsigned long long blockBytes = blockScalars_ * ScalarBytes(dataKind_);
    for (size_t r = 0; r < stored_.count(); ++r) {
      const unsigned long long length = stored_.offsets[r + 1] - stored_.offsets[r];
      if (stored_.compressed ? blockBytes / kMaxInflateRatio > length : length != blockBytes) {
        return refuse(reason, "block row " + std::to_string(r) + " cannot hold one block");
      }
    }
    return true;
  }

  // Writes block b's voxels that lie in the target; false when its stored data is damaged.
  template <typename Value, typename Empty>
  bool decodeBlock(long long b, unsigned char* scratch) {
    const long long* res = layer_.blockRes;
    const long long coordinates[3] = {b % res[0], (b / res[0]) % res[1], b / (res[0] * res[1])};
    VoxelBox block;
    for (int a = 0; a < 3; ++a) {
      block.min[a] = layer_.window.min[a] + coordinates[a] * side_;
      block.max[a] = std::min(block.min[a] + side_ - 1, layer_.window.max[a]);
    }
    const VoxelBox region = block.intersection(target_.box);
    if (region.empty()) return true;
    const int components = layer_.components;
    const long long row = rowOf_[b];
    if (row < 0) {
      for (int c = 0; c < components; ++c) {
        const float value = Empty::load(empties_.data() + (b * components + c) * Empty::kBytes);
        fill(region, c, value);
      }
      return true;
    }
    const unsigned char* values = stored_.bytes.data() + stored_.offsets[row];
    if (stored_.compressed) {
      const size_t length = stored_.offsets[row + 1] - stored_.offsets[row];
      if (!InflateExact(values, length, scratch, static_cast<size_t>(blockScalars_ * Value::kBytes))) return false;
      values = scratch;
    }
    for (long long k = region.min[2]; k <= region.max[2]; ++k) {
      for (long long j = region.min[1]; j <= region.max[1]; ++j) {
        const long long at = grid_.index(region.min[0], j, k);
        const long long inBlock = ((k - block.min[2]) * side_ + (j - block.min[1])) * side_ + (region.min[0] - block.min[0]);
        const unsigned char* source = values + inBlock * components * Value::kBytes;
        for (int c = 0; c < components; ++c) {
          float* out = target_.component[c];
          if (!out) continue;
          for (long long i = 0; i < region.size(0); ++i) out[at + i] = Value::load(source + (i * components + c) * Value::kBytes);
        }
      }
    }
    return true;
  }

  void fill(const VoxelBox& region, int component, float value) {
    float* out = target_.component[component];
    if (!out) return;
    for (long long k = region.min[2]; k <= region.max[2]; ++k) {
      for (long long j = region.min[1]; j <= region.max[1]; ++j) {
        float* row = out + grid_.index(region.min[0], j, k);
        std::fill(row, row + region.size(0), value);
      }
    }
  }

  Field3dContainer& file_;
  const Field3dLayer& layer_;
  const DecodeTarget& target_;
  const TargetGrid grid_;
  const long long side_;
  unsigned long long blockScalars_ = 0;
  ScalarKind emptyKind_ = ScalarKind::None;
  ScalarKind dataKind_ = ScalarKind::None;
  std::vector<unsigned char> allocated_;
  std::vector<unsigned char> empties_;
  std::vector<long long> rowOf_;
  StoredBlocks stored_;
};

}  // namespace

bool DecodeLayer(Field3dContainer& file, const Field3dLayer& layer, const DecodeTarget& target,
                 ParallelRunner& runner, std::string& reason) {
  switch (layer.kind) {
    case LayerClass::Dense: return decodeDense(file, layer, target, runner, reason);
    case LayerClass::Sparse: return SparseDecoder(file, layer, target).run(runner, reason);
    case LayerClass::Mac: return decodeMac(file, layer, target, runner, reason);
  }
  return false;
}

}  // namespace Field3dIo
