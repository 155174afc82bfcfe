#include "tools/orv/GridStreamWriter.h"

#include <zlib.h>

#include <cstring>
#include <limits>

#include "tools/codec/StreamWriter.h"
#include "tools/orv/ByteSink.h"

namespace orv::writer {
namespace {

constexpr int kPackedColour = 18;

bool allEqual(const std::vector<float>& values) {
  for (const float& v : values) {
    if (std::memcmp(&v, &values[0], 4) != 0) return false;
  }
  return true;
}

// Quantised zones predict along the values for the one-dimensional decoder of versions >= 5 and
// over the x/y/z box for the three-dimensional decoder of older versions.
codectools::ZoneForm formFor(int version) {
  return version >= 5 ? codectools::ZoneForm::AlongValues : codectools::ZoneForm::OverBox;
}

bool codecStream(const GridChannel& channel, const int gridSize[3], int version,
                 std::vector<char>& out, std::string& error) {
  const float* values = channel.values.data();
  const int count = static_cast<int>(channel.values.size());
  codectools::ZoneEncoding encoding;
  encoding.precisionBits = channel.precisionBits;
  encoding.predictionOrder = channel.predictionOrder;
  bool ok = false;
  switch (channel.kind) {
    case GridStreamKind::Raw:
      ok = codectools::AppendRawZone(values, count, out);
      break;
    case GridStreamKind::Constant:
      if (!channel.values.empty() && !allEqual(channel.values)) {
        error = "constant stream of values that differ";
        return false;
      }
      ok = codectools::AppendConstantZone(count ? values[0] : 0.0f, count, out);
      break;
    case GridStreamKind::Quantised:
      ok = version >= 5 ? codectools::AppendZoneAlongValues(values, count, encoding, out)
                        : codectools::AppendZoneOverBox(values, gridSize, encoding, out);
      break;
    case GridStreamKind::Zoned:
    case GridStreamKind::ZonedAlt: {
      if (!channel.quantiseZones) encoding.precisionBits = 32;  // raw zones
      const unsigned short magic = channel.kind == GridStreamKind::Zoned
                                       ? codectools::kZonedMagic
                                       : codectools::kZonedMagicAlt;
      ok = codectools::AppendZonedGrid(values, gridSize, channel.zoneCount, formFor(version),
                                       encoding, magic, out);
      break;
    }
  }
  if (!ok) error = "grid channel " + std::to_string(channel.id) + " cannot be encoded";
  return ok;
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
               : codecStream(channel, gridSize, version, payload, error))) {
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
