#include "codecs/GridStreamKind.h"

#include "codecs/ByteCursor.h"
#include "codecs/SGCompressor.h"
#include "codecs/ZoneTable.h"

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
  orv::ZoneTable table;
  if (!table.read(bytes, size)) return "damaged";
  int counts[kMethodCount] = {0, 0, 0};
  for (int i = 0; i < table.zoneCount; ++i) {
    const long long offset = table.offset(i);
    const unsigned long long methodAt = orv::ZoneTable::kZoneMagicBytes;
    if (offset < 0 || static_cast<unsigned long long>(offset) + methodAt >= table.areaBytes) {
      return "damaged";
    }
    const unsigned char method = table.zoneArea[offset + methodAt];
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
  return table.zoneCount == 0 ? "zoned: no zones" : text;
}
