#include "codecs/ZoneQuantiser.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "codecs/EntropyCoder.h"

namespace orv {
namespace {

constexpr float kTinySpan = 1e-20f;

int addWrapping(int a, int b) {
  return static_cast<int>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

int subtractWrapping(int a, int b) {
  return static_cast<int>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

bool hasAllExponentBits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return (u & 0x7F800000u) == 0x7F800000u;
}

// Float to int with out-of-range values clamped and NaN as 0, so quantisation never overflows.
int clampToInt(float f) {
  if (!(f == f)) return 0;
  if (f >= 2147483648.0f) return INT32_MAX;
  if (f < -2147483648.0f) return INT32_MIN;
  return static_cast<int>(f);
}

}  // namespace

ValueSpan ScanZoneValues(const float* values, long long count) {
  ValueSpan span;
  if (count <= 0) return span;
  span.lowest = span.highest = values[0];
  for (long long k = 0; k < count; ++k) {
    if (hasAllExponentBits(values[k])) return ValueSpan{};
    if (values[k] < span.lowest) span.lowest = values[k];
    if (values[k] > span.highest) span.highest = values[k];
  }
  return span;
}

bool IsConstantSpan(const ValueSpan& span) {
  return std::fabs(span.lowest - span.highest) < kTinySpan;
}

float QuantisationScale(int precisionBits, float quantumStep, float rangeMinimum,
                        float rangeMaximum) {
  if (precisionBits < 1) return 1.0f / quantumStep;
  return std::ldexp(1.0f, precisionBits) / (rangeMaximum - rangeMinimum);
}

void QuantiseValues(const float* values, long long count, float rangeMinimum, float scale,
                    int* q) {
  for (long long k = 0; k < count; ++k) {
    const float scaled = (values[k] - rangeMinimum) * scale;
    q[k] = clampToInt(std::floor(scaled + 0.5f));
  }
}

int StoredPredictionOrder(int order) { return order < 0 ? 0 : (order > 255 ? 255 : order); }

void PredictAlongValues(int* q, long long count, int order) {
  for (int pass = 0; pass < order; ++pass) {
    for (long long k = count - 1; k >= pass + 1; --k) q[k] = subtractWrapping(q[k], q[k - 1]);
  }
}

void UndoPredictionAlongValues(int* q, long long count, int order) {
  for (int level = order; level >= 1; --level) {
    for (long long k = level; k < count; ++k) q[k] = addWrapping(q[k], q[k - 1]);
  }
}

void UndoPredictionOverBox(int* q, const long long dims[3], int order) {
  // An empty box has nothing to undo; its other axes may still be huge, so no loop may start.
  if (dims[0] <= 0 || dims[1] <= 0 || dims[2] <= 0) return;
  const long long strides[3] = {1, dims[0], dims[0] * dims[1]};
  for (int level = order; level >= 1; --level) {
    for (int axis = 0; axis < 3; ++axis) {
      if (level >= dims[axis]) continue;
      const int a1 = (axis + 1) % 3;
      const int a2 = (axis + 2) % 3;
      const long long s = strides[axis];
      for (long long c2 = 0; c2 < dims[a2]; ++c2) {
        for (long long c1 = 0; c1 < dims[a1]; ++c1) {
          int* line = q + c1 * strides[a1] + c2 * strides[a2];
          for (long long k = level; k < dims[axis]; ++k) {
            line[k * s] = addWrapping(line[k * s], line[(k - 1) * s]);
          }
        }
      }
    }
  }
}

bool QuantisedBase(const int* q, long long count, int& base) {
  if (count <= 0) return false;
  long long lowest = q[0], highest = q[0];
  for (long long k = 1; k < count; ++k) {
    if (q[k] < lowest) lowest = q[k];
    if (q[k] > highest) highest = q[k];
  }
  if (highest - lowest > INT32_MAX) return false;
  base = static_cast<int>(lowest);
  return true;
}

long long AppendRunMarkedStream(int* q, long long count, int base,
                                CVNUtils::CvnArray<char, long long>& out) {
  if (count <= 0) return 0;
  for (long long k = 0; k < count; ++k) q[k] = subtractWrapping(q[k], base);
  // A value followed by r >= 4 repeats becomes the value and -r; up to three repeats stay.
  long long kept = 1;
  int last = q[0];
  int repeats = 0;
  for (long long k = 1; k < count; ++k) {
    const int value = q[k];
    if (value != last) {
      q[kept++] = value;
      last = value;
      repeats = 0;
    } else if (repeats < 3) {
      q[kept++] = value;
      ++repeats;
    } else if (repeats == 3) {
      kept -= 3;
      q[kept++] = -4;
      repeats = 4;
    } else {
      --q[kept - 1];
      ++repeats;
    }
  }
  EntropyCoder coder;
  return coder.Encode(q, kept, out);
}

}  // namespace orv
