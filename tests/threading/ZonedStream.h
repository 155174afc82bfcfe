// Builds a zoned SGCompressor<1> stream (magic 0xFC02) from values cut into equal zones, each
// written by the single-zone encoder, for the pool tests and the threading benchmark.
#pragma once

#include <cstring>
#include <vector>

#include "codecs/SGCompressor.h"

inline void AppendLittleEndian32(std::vector<unsigned char>& out, int value) {
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<unsigned char>(value >> (8 * k)));
}

// Zone i covers values [i * n / zones, (i + 1) * n / zones), quantised with `bits` bits.
inline std::vector<unsigned char> MakeZonedStream(std::vector<float>& values, int zones, int bits) {
  SGCompressor<1> encoder(-1, nullptr, nullptr);
  const long long n = static_cast<long long>(values.size());
  std::vector<int> firsts, offsets;
  std::vector<unsigned char> bodies;
  for (int i = 0; i < zones; ++i) {
    const long long first = n * i / zones;
    const long long end = n * (i + 1) / zones;
    CVNUtils::CvnArray<char, long long> body;
    SGZone zone;
    zone.output = &body;
    zone.values = values.data() + first;
    zone.count = static_cast<int>(end - first);
    zone.precisionBits = bits;
    encoder.CompressZone(zone);
    firsts.push_back(static_cast<int>(first));
    offsets.push_back(static_cast<int>(bodies.size()));
    bodies.insert(bodies.end(), body.begin(), body.end());
  }
  std::vector<unsigned char> stream = {0x02, 0xFC, static_cast<unsigned char>(zones & 0xFF),
                                       static_cast<unsigned char>(zones >> 8)};
  for (int first : firsts) AppendLittleEndian32(stream, first);
  for (int offset : offsets) AppendLittleEndian32(stream, offset);
  stream.insert(stream.end(), bodies.begin(), bodies.end());
  return stream;
}
