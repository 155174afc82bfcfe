#include "plugins/field3dio/SparseLayerDecode.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "plugins/field3dio/DecodeSupport.h"
#include "plugins/field3dio/InflateExact.h"

namespace Field3dIo {

namespace {

using namespace Decoding;

// Inflated blocks held at once, over all jobs; with larger blocks fewer jobs inflate.
constexpr unsigned long long kBlockScratchBytes = 1ull << 30;

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

bool DecodeSparseLayer(Field3dContainer& file, const Field3dLayer& layer, const DecodeTarget& target,
                       ParallelRunner& runner, std::string& reason) {
  return SparseDecoder(file, layer, target).run(runner, reason);
}

}  // namespace Field3dIo
