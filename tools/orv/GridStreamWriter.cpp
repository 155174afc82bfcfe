#include "tools/orv/GridStreamWriter.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "cache/GridChannelIds.h"
#include "cache/OrvFormat.h"
#include "tools/codec/StreamWriter.h"
#include "tools/orv/ByteSink.h"

namespace orv::writer {
namespace {

constexpr int kPackedColour = orv::channels::kPackedColour;

bool allEqual(const std::vector<float>& values) {
  for (const float& v : values) {
    if (std::memcmp(&v, &values[0], 4) != 0) return false;
  }
  return true;
}

// Quantised zones predict along the values for the one-dimensional decoder of versions >= 5 and
// over the x/y/z box for the three-dimensional decoder of older versions.
codectools::ZoneForm formFor(int version) {
  return orv::format::UsesBoxCodec(version) ? codectools::ZoneForm::OverBox
                                            : codectools::ZoneForm::AlongValues;
}

bool codecStream(const GridChannel& channel, const int gridSize[3], int version, int count,
                 std::vector<char>& out, std::string& error) {
  const float* values = channel.values.data();
  codectools::ZoneEncoding encoding;
  encoding.precisionBits = channel.precisionBits;
  encoding.predictionOrder = channel.predictionOrder;
  bool ok = false;
  switch (channel.kind) {
    case GridStreamKind::Raw:
      ok = codectools::AppendRawZone(values, count, out);
      break;
    case GridStreamKind::Constant:
      if (channel.constant) {
        ok = codectools::AppendConstantZone(*channel.constant, count, out);
        break;
      }
      if (!channel.values.empty() && !allEqual(channel.values)) {
        error = "constant stream of values that differ";
        return false;
      }
      ok = codectools::AppendConstantZone(count ? values[0] : 0.0f, count, out);
      break;
    case GridStreamKind::Quantised:
      ok = !orv::format::UsesBoxCodec(version) ? codectools::AppendZoneAlongValues(values, count, encoding, out)
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

// One zlib block of `words` packed words: the channel's own array, or its constant word repeated.
bool packedColourPayload(const GridChannel& channel, long long words, std::vector<char>& bytes,
                         std::string& error) {
  std::vector<unsigned int> repeated;
  if (channel.constantPacked) repeated.assign(static_cast<size_t>(std::min(words, 1ll << 18)), *channel.constantPacked);
  z_stream zip = {};
  if (deflateInit(&zip, channel.zlibLevel) != Z_OK) {
    error = "zlib failed on the packed colour";
    return false;
  }
  std::vector<char> zipped;
  std::vector<char> chunk(1 << 20);
  long long done = 0;
  int status = Z_OK;
  while (status == Z_OK) {
    if (zip.avail_in == 0 && done < words) {
      const unsigned int* source = channel.constantPacked ? repeated.data() : channel.packed.data() + done;
      const long long take = channel.constantPacked ? std::min<long long>(words - done, repeated.size())
                                                    : std::min<long long>(words - done, 1ll << 28);
      zip.next_in = reinterpret_cast<Bytef*>(const_cast<unsigned int*>(source));
      zip.avail_in = static_cast<uInt>(take * 4);
      done += take;
    }
    zip.next_out = reinterpret_cast<Bytef*>(chunk.data());
    zip.avail_out = static_cast<uInt>(chunk.size());
    status = deflate(&zip, done < words || zip.avail_in > 0 ? Z_NO_FLUSH : Z_FINISH);
    zipped.insert(zipped.end(), chunk.data(), chunk.data() + (chunk.size() - zip.avail_out));
  }
  deflateEnd(&zip);
  if (status != Z_STREAM_END) {
    error = "zlib failed on the packed colour";
    return false;
  }
  ByteSink out(bytes);
  out.put<unsigned long long>(zipped.size());
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
  const bool uniform = packed ? channel.constantPacked.has_value()
                              : channel.constant.has_value() && channel.kind == GridStreamKind::Constant;
  const long long given = uniform ? voxels
                          : packed ? static_cast<long long>(channel.packed.size())
                                   : static_cast<long long>(channel.values.size());
  if (given != voxels || voxels > std::numeric_limits<int>::max()) {
    error = "grid channel " + std::to_string(channel.id) + " does not hold one value per cell";
    return false;
  }
  std::vector<char> payload;
  if (!(packed ? packedColourPayload(channel, voxels, payload, error)
               : codecStream(channel, gridSize, version, static_cast<int>(voxels), payload, error))) {
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
