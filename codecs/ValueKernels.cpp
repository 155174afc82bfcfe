#include "codecs/ValueKernels.h"

#include <cstdint>

#include "codecs/WrappingArithmetic.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orv {
namespace {

#if defined(__SSE2__)
// Running sums of the four lanes of x on their own (lane k: x0 + ... + xk).
inline __m128i runningSumOfLanes(__m128i x) {
  x = _mm_add_epi32(x, _mm_slli_si128(x, 4));
  return _mm_add_epi32(x, _mm_slli_si128(x, 8));
}

inline __m128i lastLane(__m128i x) { return _mm_shuffle_epi32(x, 0xFF); }
#endif

}  // namespace

void FillValues(int* to, long long count, int value) {
  long long k = 0;
#if defined(__SSE2__)
  const __m128i v = _mm_set1_epi32(value);
  for (; k + 4 <= count; k += 4) _mm_storeu_si128(reinterpret_cast<__m128i*>(to + k), v);
#endif
  for (; k < count; ++k) to[k] = value;
}

int AddRunningSum(int* q, long long count, int before) {
  long long k = 0;
#if defined(__SSE2__)
  // Eight values a step: their sums among themselves do not depend on the values before, so the
  // only chain from step to step is one vector addition of the carried sum.
  __m128i carried = _mm_set1_epi32(before);
  for (; k + 8 <= count; k += 8) {
    __m128i* at = reinterpret_cast<__m128i*>(q + k);
    const __m128i low = runningSumOfLanes(_mm_loadu_si128(at));
    const __m128i high = _mm_add_epi32(runningSumOfLanes(_mm_loadu_si128(at + 1)), lastLane(low));
    _mm_storeu_si128(at, _mm_add_epi32(low, carried));
    _mm_storeu_si128(at + 1, _mm_add_epi32(high, carried));
    carried = _mm_add_epi32(carried, lastLane(high));
  }
  before = _mm_cvtsi128_si32(carried);
#endif
  for (; k < count; ++k) before = q[k] = AddWrapping(q[k], before);
  return before;
}

void AddValues(int* to, const int* from, long long count) {
  long long k = 0;
#if defined(__SSE2__)
  for (; k + 4 <= count; k += 4) {
    __m128i* at = reinterpret_cast<__m128i*>(to + k);
    const __m128i add = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + k));
    _mm_storeu_si128(at, _mm_add_epi32(_mm_loadu_si128(at), add));
  }
#endif
  for (; k < count; ++k) to[k] = AddWrapping(to[k], from[k]);
}

void DequantiseValues(const int* q, long long count, float inverse, float offset, float* out) {
  long long k = 0;
#if defined(__SSE2__)
  const __m128 scale = _mm_set1_ps(inverse);
  const __m128 shift = _mm_set1_ps(offset);
  for (; k + 4 <= count; k += 4) {
    const __m128 product =
        _mm_mul_ps(_mm_cvtepi32_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q + k))), scale);
    _mm_storeu_ps(out + k, _mm_add_ps(product, shift));
  }
#endif
  for (; k < count; ++k) {
    const float product = static_cast<float>(q[k]) * inverse;
    out[k] = product + offset;
  }
}

}  // namespace orv
