#include "tools/orv/ParticleChannelEncoder.h"

#include <zlib.h>

#include <cstring>
#include <limits>

#include "cache/OrvFormat.h"
#include "cache/particles/ParticleChannelTable.h"
#include "tools/codec/StreamWriter.h"

namespace {

bool zipBlock(const void* data, unsigned long long bytes, int level, std::vector<char>& out) {
  if (bytes > std::numeric_limits<uLong>::max()) return false;
  uLongf length = compressBound(static_cast<uLong>(bytes));
  out.assign(length, 0);
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &length,
                reinterpret_cast<const Bytef*>(data), static_cast<uLong>(bytes), level) != Z_OK) {
    return false;
  }
  out.resize(length);
  return true;
}

// Single-zone stream of the values: raw floats are exact for every bit pattern, including NaN
// and infinity (which the quantising encoder turns into a constant).
bool gridCodecStream(const ParticleChannelEncoding& encoding, const std::vector<float>& values,
                     std::vector<char>& out) {
  if (values.size() > static_cast<size_t>(std::numeric_limits<int>::max())) return false;
  const int count = static_cast<int>(values.size());
  if (encoding.precisionBits >= 20) return orv::codectools::AppendRawZone(values.data(), count, out);
  orv::codectools::ZoneEncoding zone;
  zone.precisionBits = encoding.precisionBits;
  zone.predictionOrder = encoding.predictionOrder;
  return orv::codectools::AppendZoneAlongValues(values.data(), count, zone, out);
}

// Plane word (c*32 + k)*B + b holds in bit l the bit k of component c of particle 32*b + l.
std::vector<unsigned int> bitPlanes(const unsigned int* words, long long particles, int width) {
  const long long blocks = (particles + 31) / 32;
  std::vector<unsigned int> planes(static_cast<size_t>(width * 32 * blocks), 0u);
  for (long long p = 0; p < particles; ++p) {
    const long long block = p / 32;
    const unsigned int lane = static_cast<unsigned int>(p % 32);
    for (int c = 0; c < width; ++c) {
      const unsigned int value = words[p * width + c];
      for (int k = 0; k < 32; ++k) {
        if ((value >> k) & 1u) planes[static_cast<size_t>((c * 32 + k) * blocks + block)] |= 1u << lane;
      }
    }
  }
  return planes;
}

}  // namespace

bool EncodeParticleChannel(const ParticleChannelEncoding& encoding, int channel, const void* data,
                           long long particles, std::vector<char>& out) {
  out.clear();
  const int width = ParticleChannelWords(channel);
  if (width <= 0 || particles < 0 || (particles > 0 && !data)) return false;
  const unsigned long long wordCount = static_cast<unsigned long long>(particles) * width;
  const unsigned long long bytes = wordCount * 4;
  const float* floats = static_cast<const float*>(data);
  switch (encoding.method) {
    case orv::format::kMethodRaw:
      out.assign(static_cast<const char*>(data), static_cast<const char*>(data) + bytes);
      return true;
    case orv::format::kMethodZip:
      return zipBlock(data, bytes, encoding.zlibLevel, out);
    case orv::format::kMethodCodecParticleMajor: {
      std::vector<float> values(floats, floats + wordCount);
      return gridCodecStream(encoding, values, out);
    }
    case orv::format::kMethodCodecComponentMajor: {
      std::vector<float> values(wordCount);
      for (long long p = 0; p < particles; ++p) {
        for (int c = 0; c < width; ++c) values[c * particles + p] = floats[p * width + c];
      }
      return gridCodecStream(encoding, values, out);
    }
    case orv::format::kMethodZipBitPlanes: {
      const std::vector<unsigned int> planes =
          bitPlanes(static_cast<const unsigned int*>(data), particles, width);
      return zipBlock(planes.data(), planes.size() * 4ULL, encoding.zlibLevel, out);
    }
    default:
      return false;
  }
}
