#include "tools/codec/ReferenceDecoders.h"

#include "tools/codec/BoxLines.h"

namespace orv::codectools {

void UndoPredictionOverBoxAlongLines(int* q, const long long dims[3], int order) {
  if (dims[0] <= 0 || dims[1] <= 0 || dims[2] <= 0) return;
  for (int level = order; level >= 1; --level) {
    for (int axis = 0; axis < 3; ++axis) {
      if (level >= dims[axis]) continue;
      ForEachBoxLine(q, dims, axis, [level](int* line, long long stride, long long length) {
        for (long long k = level; k < length; ++k) {
          line[k * stride] = static_cast<int>(static_cast<unsigned>(line[k * stride]) +
                                              static_cast<unsigned>(line[(k - 1) * stride]));
        }
      });
    }
  }
}

void ReassembleBitPlanesBitwise(const unsigned int* planes, long long particles, int words,
                                long long first, long long end, unsigned int* out) {
  const long long blocks = (particles + 31) / 32;
  for (long long p = first; p < end; ++p) {
    for (int c = 0; c < words; ++c) {
      unsigned int value = 0;
      for (int k = 0; k < 32; ++k) {
        const unsigned int plane = planes[(static_cast<long long>(c) * 32 + k) * blocks + p / 32];
        value |= ((plane >> (p % 32)) & 1u) << k;
      }
      out[p * words + c] = value;
    }
  }
}

}  // namespace orv::codectools
