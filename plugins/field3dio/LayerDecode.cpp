#include "plugins/field3dio/LayerDecode.h"

#include <algorithm>
#include <vector>

#include "plugins/field3dio/DecodeSupport.h"
#include "plugins/field3dio/SparseLayerDecode.h"

namespace Field3dIo {

namespace {

using namespace Decoding;

// Values read per piece of a dense layer: its rows are converted while the next piece waits.
constexpr unsigned long long kDensePieceBytes = 32ull << 20;

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

}  // namespace

bool DecodeLayer(Field3dContainer& file, const Field3dLayer& layer, const DecodeTarget& target,
                 ParallelRunner& runner, std::string& reason) {
  switch (layer.kind) {
    case LayerClass::Dense: return decodeDense(file, layer, target, runner, reason);
    case LayerClass::Sparse: return DecodeSparseLayer(file, layer, target, runner, reason);
    case LayerClass::Mac: return decodeMac(file, layer, target, runner, reason);
  }
  return false;
}

}  // namespace Field3dIo
