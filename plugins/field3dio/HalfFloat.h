// IEEE 754 binary16 <-> binary32, bit exact: subnormals, signed zeros, infinities and NaNs kept.
#pragma once

#include <cstdint>
#include <cstring>

namespace Field3dIo {

inline float HalfToFloat(uint16_t half) {
  const uint32_t sign = static_cast<uint32_t>(half & 0x8000u) << 16;
  const uint32_t exponent = (half >> 10) & 0x1fu;
  const uint32_t mantissa = half & 0x3ffu;
  uint32_t bits;
  if (exponent == 0x1f) {
    bits = sign | 0x7f800000u | (mantissa << 13);
  } else if (exponent != 0) {
    bits = sign | ((exponent + 112) << 23) | (mantissa << 13);
  } else {
    // Zero or subnormal: mantissa * 2^-24, exact in single precision.
    const float magnitude = static_cast<float>(mantissa) * 5.9604644775390625e-8f;
    std::memcpy(&bits, &magnitude, 4);
    bits |= sign;
  }
  float out;
  std::memcpy(&out, &bits, 4);
  return out;
}

// Rounds to the nearest binary16 (ties to even), as Field3D's half type does.
inline uint16_t FloatToHalf(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  const uint16_t sign = static_cast<uint16_t>((bits >> 16) & 0x8000u);
  const uint32_t magnitude = bits & 0x7fffffffu;
  if (magnitude >= 0x7f800000u) {  // infinity or NaN (NaN keeps a mantissa bit)
    return static_cast<uint16_t>(sign | 0x7c00u | (magnitude > 0x7f800000u ? 0x200u | ((magnitude >> 13) & 0x3ffu) : 0));
  }
  if (magnitude >= 0x477ff000u) return static_cast<uint16_t>(sign | 0x7c00u);  // rounds past 65504
  if (magnitude < 0x38800000u) {  // below the smallest normal half: subnormal or zero
    if (magnitude < 0x33000000u) return sign;  // below half the smallest subnormal
    const uint32_t mantissa = (magnitude & 0x7fffffu) | 0x800000u;
    const int shift = 126 - static_cast<int>(magnitude >> 23);  // 14 .. 24
    const uint32_t kept = mantissa >> shift;
    const uint32_t rest = mantissa & ((1u << shift) - 1);
    const uint32_t halfway = 1u << (shift - 1);
    const uint32_t rounded = kept + (rest > halfway || (rest == halfway && (kept & 1u)) ? 1u : 0u);
    return static_cast<uint16_t>(sign | rounded);
  }
  const uint32_t rebased = magnitude - (112u << 23);
  const uint32_t rest = rebased & 0x1fffu;
  uint32_t rounded = rebased >> 13;
  if (rest > 0x1000u || (rest == 0x1000u && (rounded & 1u))) ++rounded;  // may carry into the exponent
  return static_cast<uint16_t>(sign | rounded);
}

}  // namespace Field3dIo
