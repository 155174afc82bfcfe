#include "codecs/ZoneQuantiser.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "codecs/EntropyCoder.h"
#include "codecs/ValueKernels.h"
#include "codecs/WrappingArithmetic.h"

namespace orv {
namespace {

constexpr float kTinySpan = 1e-20f;

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
    for (long long k = count - 1; k >= pass + 1; --k) q[k] = SubtractWrapping(q[k], q[k - 1]);
  }
}

void UndoPredictionAlongValues(int* q, long long count, int order) {
  PredictionUndoAlongValues(order).Apply(q, count);
}

PredictionUndoAlongValues::PredictionUndoAlongValues(int order)
    : order_(StoredPredictionOrder(order)) {}

// Level by level over the part, as over the whole sequence: level L adds to each value from the
// L-th of the sequence on the level's result for the value before it.
void PredictionUndoAlongValues::Apply(int* q, long long count) {
  if (count <= 0) return;
  for (int level = order_; level >= 1; --level) {
    // The level starts at the level-th value of the sequence; later parts continue from the
    // level's result for the value before them.
    const long long start = level > position_ ? level - position_ : 0;
    if (start < count) {
      const int before = start > 0 ? q[start - 1] : carried_[level];
      AddRunningSum(q + start, count - start, before);
    }
    carried_[level] = q[count - 1];
  }
  position_ += count;
}

// Each level's passes along x, y and z, taken plane by plane: the x and y passes of a plane
// touch only that plane, and its z step adds the plane before it once that plane has had all
// three. Every element thus receives the same sums in the same order as line by line, so the
// result is the same, while every pass runs over contiguous rows.
void UndoPredictionOverBox(int* q, const long long dims[3], int order) {
  // An empty box has nothing to undo; its other axes may still be huge, so no loop may start.
  if (dims[0] <= 0 || dims[1] <= 0 || dims[2] <= 0) return;
  const long long nx = dims[0], ny = dims[1], nz = dims[2];
  const long long plane = nx * ny;
  for (int level = order; level >= 1; --level) {
    for (long long z = 0; z < nz; ++z) {
      int* slice = q + z * plane;
      if (level < nx) {
        for (long long y = 0; y < ny; ++y) {
          int* row = slice + y * nx;
          AddRunningSum(row + level, nx - level, row[level - 1]);
        }
      }
      if (level < ny) {
        for (long long y = level; y < ny; ++y) AddValues(slice + y * nx, slice + (y - 1) * nx, nx);
      }
      if (level < nz && z >= level) AddValues(slice, slice - plane, plane);
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
  for (long long k = 0; k < count; ++k) q[k] = SubtractWrapping(q[k], base);
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
