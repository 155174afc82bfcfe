#include "tools/orv/GridStreamWriter.h"

#include <zlib.h>

#include <cstring>
#include <limits>

#include "codecs/SGCompressor.h"
#include "tools/orv/ByteSink.h"

namespace orv::writer {
namespace {

constexpr int kPackedColour = 18;
constexpr unsigned short kSingleZoneMagic = 0xFC01;

void rawZone(const float* values, int count, ByteSink& out) {
  out.put<unsigned char>(0);
  out.i32(count);
  out.bytes(values, 4ull * count);
}

bool allEqual(const std::vector<float>& values) {
  for (const float& v : values) {
    if (std::memcmp(&v, &values[0], 4) != 0) return false;
  }
  return true;
}

// Single-zone stream along the values, quantised by the library's own zone encoder.
bool quantisedZone1D(const GridChannel& channel, std::vector<char>& out) {
  SGCompressor<1> coder(-1, nullptr, nullptr);
  CVNUtils::CvnArray<char, long long> stream;
  SGCompressor<1>::Zone zone;
  std::vector<float> values = channel.values;
  zone.output = &stream;
  zone.values = values.data();
  zone.count = static_cast<int>(values.size());
  zone.precisionBits = channel.precisionBits;
  zone.predictionOrder = channel.predictionOrder;
  if (coder.CompressZone(zone) <= 2) return false;
  out.assign(stream.begin(), stream.end());
  return true;
}

bool codecStream(const GridChannel& channel, int version, std::vector<char>& bytes,
                 std::string& error) {
  ByteSink out(bytes);
  const int count = static_cast<int>(channel.values.size());
  switch (channel.kind) {
    case GridStreamKind::Raw:
      out.put(kSingleZoneMagic);
      rawZone(channel.values.data(), count, out);
      return true;
    case GridStreamKind::Constant:
      if (!channel.values.empty() && !allEqual(channel.values)) {
        error = "constant stream of values that differ";
        return false;
      }
      out.put(kSingleZoneMagic);
      out.put<unsigned char>(1);
      out.i32(count);
      out.f32(channel.values.empty() ? 0.0f : channel.values[0]);
      return true;
    case GridStreamKind::Quantised:
      if (version >= 5) {
        if (!quantisedZone1D(channel, bytes)) {
          error = "the zone encoder failed";
          return false;
        }
        return true;
      }
      error = "quantised streams for versions below 5 need the three-dimensional zone encoder";
      return false;
    case GridStreamKind::Zoned:
    case GridStreamKind::ZonedAlt:
      error = "zoned streams need the zoned stream writer";
      return false;
  }
  error = "unknown stream kind";
  return false;
}

bool packedColourPayload(const GridChannel& channel, std::vector<char>& bytes,
                         std::string& error) {
  const unsigned long long raw = channel.packed.size() * 4ull;
  if (raw > std::numeric_limits<uLong>::max()) {
    error = "packed colour too large for one zlib block";
    return false;
  }
  uLongf length = compressBound(static_cast<uLong>(raw));
  std::vector<char> zipped(length);
  if (compress2(reinterpret_cast<Bytef*>(zipped.data()), &length,
                reinterpret_cast<const Bytef*>(channel.packed.data()), static_cast<uLong>(raw),
                channel.zlibLevel) != Z_OK) {
    error = "zlib failed on the packed colour";
    return false;
  }
  zipped.resize(length);
  ByteSink out(bytes);
  out.put<unsigned long long>(length);
  out.bytes(zipped);
  return true;
}

}  // namespace

bool AppendGridRecord(const GridChannel& channel, const int gridSize[3], int version,
                      std::vector<int>& stream, std::string& error) {
  if (channel.id < 0 || channel.id > 31) {
    error = "grid channel id outside 0..31";
    return false;
  }
  const long long voxels = static_cast<long long>(gridSize[0]) * gridSize[1] * gridSize[2];
  const bool packed = channel.id == kPackedColour;
  const long long given = packed ? static_cast<long long>(channel.packed.size())
                                 : static_cast<long long>(channel.values.size());
  if (given != voxels || voxels > std::numeric_limits<int>::max()) {
    error = "grid channel " + std::to_string(channel.id) + " does not hold one value per cell";
    return false;
  }
  std::vector<char> payload;
  if (!(packed ? packedColourPayload(channel, payload, error)
               : codecStream(channel, version, payload, error))) {
    return false;
  }
  ByteSink(payload).padToWord();
  const long long words = static_cast<long long>(payload.size() / 4);
  if (words < 1 || words > std::numeric_limits<int>::max() - 2) {
    error = "grid channel record of unusable length";
    return false;
  }
  stream.push_back(channel.id);
  stream.push_back(static_cast<int>(words));
  const size_t at = stream.size();
  stream.resize(at + static_cast<size_t>(words));
  std::memcpy(stream.data() + at, payload.data(), payload.size());
  return true;
}

}  // namespace orv::writer
