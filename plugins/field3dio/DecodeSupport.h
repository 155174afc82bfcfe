// Pieces shared by the layer decoders: loading stored scalars of each kind as floats, and
// positions in a decode target.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "plugins/field3dio/HalfFloat.h"
#include "plugins/field3dio/LayerDecode.h"

namespace Field3dIo {
namespace Decoding {

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

inline bool refuse(std::string& reason, const std::string& why) {
  reason = why;
  return false;
}

}  // namespace Decoding
}  // namespace Field3dIo
