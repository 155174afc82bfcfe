#include "codecs/GridStreamKind.h"

#include <vector>

#include "codecs/ByteCursor.h"
#include "codecs/SGCompressor.h"

namespace {

constexpr int kMethodCount = 3;
const char* const kMethodNames[kMethodCount] = {"raw", "constant", "quantised"};

}  // namespace

std::string DescribeGridStream(const unsigned char* bytes, unsigned long long size) {
  orv::ByteCursor cursor(bytes, bytes + size);
  unsigned short magic = 0;
  if (!cursor.readU16(magic)) return "damaged";
  if (magic == SGCompressor<1>::kSingleZoneMagic) {
    unsigned char method = 0;
    if (!cursor.readU8(method) || method >= kMethodCount) return "damaged";
    return kMethodNames[method];
  }
  if (magic != SGCompressor<1>::kZonedMagic && magic != SGCompressor<1>::kZonedMagicAlt) {
    return "damaged";
  }
  unsigned short zoneCount = 0;
  if (!cursor.readU16(zoneCount) || !cursor.skip(4ull * zoneCount)) return "damaged";
  std::vector<int> offsets(zoneCount);
  for (int& offset : offsets) {
    if (!cursor.readI32(offset)) return "damaged";
  }
  const unsigned char* zoneArea = cursor.position();
  const unsigned long long areaBytes = cursor.remaining();
  int counts[kMethodCount] = {0, 0, 0};
  for (int offset : offsets) {
    // Each zone: a two-byte zone magic, then its method byte.
    if (offset < 0 || static_cast<unsigned long long>(offset) + 3 > areaBytes) return "damaged";
    const unsigned char method = zoneArea[offset + 2];
    if (method >= kMethodCount) return "damaged";
    ++counts[method];
  }
  std::string text = "zoned:";
  const char* separator = " ";
  for (int method = 0; method < kMethodCount; ++method) {
    if (counts[method] == 0) continue;
    text += separator + std::to_string(counts[method]) + " " + kMethodNames[method];
    separator = ", ";
  }
  return zoneCount == 0 ? "zoned: no zones" : text;
}
