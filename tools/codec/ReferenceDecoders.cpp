#include "tools/codec/ReferenceDecoders.h"

#include <algorithm>

#include "codecs/ByteCursor.h"
#include "codecs/EntropyCoder.h"
#include "codecs/WrappingArithmetic.h"
#include "tools/codec/BoxLines.h"

namespace orv::codectools {
bool ExpandBitwise(EntropyCoder& coder, int* values, long long count, int base) {
  long long i = 0;
  while (i < count) {
    const int symbol = coder.DecodeSymbolBitwise();
    if (coder.Overrun()) return false;
    if (symbol >= 0) {
      values[i++] = AddWrapping(base, symbol);
      continue;
    }
    if (i == 0) return false;
    const long long run = -static_cast<long long>(symbol);
    const long long placed = std::min(run, count - i);
    std::fill(values + i, values + i + placed, values[i - 1]);
    i += placed;
    if (placed < run) return false;
  }
  return true;
}

bool DecodeQuantisedZonePlain(const std::vector<char>& stream, bool overBox,
                              std::vector<float>& out) {
  ByteCursor in(stream.data(), stream.data() + stream.size());
  unsigned short magic = 0;
  unsigned char method = 0, order = 0;
  int dims[3] = {0, 1, 1};
  float scale = 0, offset = 0;
  int base = 0;
  if (!in.readU16(magic) || !in.readU8(method) || method != 2) return false;
  for (int a = 0; a < (overBox ? 3 : 1); ++a) {
    if (!in.readI32(dims[a]) || dims[a] < 0) return false;
  }
  if (!in.readF32(scale) || !in.readF32(offset) || !in.readI32(base) || !in.readU8(order)) {
    return false;
  }
  const long long box[3] = {dims[0], dims[1], dims[2]};
  const long long count = box[0] * box[1] * box[2];
  std::vector<int> q(static_cast<size_t>(count));
  EntropyCoder coder;
  if (!coder.InitDecoder(in.position(), in.end()) ||
      !ExpandBitwise(coder, q.data(), count, base)) {
    return false;
  }
  if (overBox) {
    UndoPredictionOverBoxAlongLines(q.data(), box, order);
  } else {
    for (int level = order; level >= 1; --level) {
      for (long long k = level; k < count; ++k) q[k] = AddWrapping(q[k], q[k - 1]);
    }
  }
  if (offset > 0 && offset < 1e-20f) offset = 0;
  const float inverse = 1.0f / scale;
  out.resize(static_cast<size_t>(count));
  for (long long k = 0; k < count; ++k) out[k] = static_cast<float>(q[k]) * inverse + offset;
  return true;
}

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
