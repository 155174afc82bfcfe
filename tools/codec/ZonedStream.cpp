// Zone tables: first destination index and byte offset of every zone, then the zones.
#include <climits>
#include <cstddef>

#include "tools/codec/StreamWriter.h"

namespace orv::codectools {
namespace {

constexpr long long kMaxZones = 65535;

void appendI32(std::vector<char>& out, long long v) {
  const unsigned u = static_cast<unsigned>(v);
  for (int b = 0; b < 4; ++b) out.push_back(static_cast<char>(u >> (8 * b)));
}

}  // namespace

bool AppendZonedStream(unsigned short magic, const std::vector<long long>& firstIndexes,
                       const std::vector<std::vector<char>>& zones, std::vector<char>& out) {
  if (magic != kZonedMagic && magic != kZonedMagicAlt) return false;
  const long long count = static_cast<long long>(zones.size());
  if (count < 1 || count > kMaxZones || firstIndexes.size() != zones.size()) return false;
  long long offset = 0;
  std::vector<long long> offsets;
  for (long long i = 0; i < count; ++i) {
    const long long first = firstIndexes[i];
    if (first < 0 || first > INT_MAX || (i > 0 && first <= firstIndexes[i - 1])) return false;
    // Every zone starts with its own two-byte magic.
    if (zones[i].size() < 2 || offset > INT_MAX) return false;
    offsets.push_back(offset);
    offset += static_cast<long long>(zones[i].size());
  }
  out.push_back(static_cast<char>(magic & 0xFF));
  out.push_back(static_cast<char>(magic >> 8));
  out.push_back(static_cast<char>(count & 0xFF));
  out.push_back(static_cast<char>(count >> 8));
  for (long long first : firstIndexes) appendI32(out, first);
  for (long long at : offsets) appendI32(out, at);
  for (const std::vector<char>& zone : zones) out.insert(out.end(), zone.begin(), zone.end());
  return true;
}

bool AppendZonedGrid(const float* values, const int dims[3], int zoneCount, ZoneForm form,
                     const ZoneEncoding& encoding, unsigned short magic, std::vector<char>& out) {
  if (!values || !dims || dims[0] < 1 || dims[1] < 1 || dims[2] < 1) return false;
  const long long plane = static_cast<long long>(dims[0]) * dims[1];
  if (plane > INT_MAX || plane * dims[2] > INT_MAX) return false;
  if (zoneCount < 1 || zoneCount > dims[2] || zoneCount > kMaxZones) return false;
  std::vector<long long> firstIndexes;
  std::vector<std::vector<char>> zones(static_cast<size_t>(zoneCount));
  for (int i = 0; i < zoneCount; ++i) {
    const long long z0 = static_cast<long long>(dims[2]) * i / zoneCount;
    const long long z1 = static_cast<long long>(dims[2]) * (i + 1) / zoneCount;
    const float* slab = values + plane * z0;
    const int slabDims[3] = {dims[0], dims[1], static_cast<int>(z1 - z0)};
    const bool encoded =
        form == ZoneForm::OverBox
            ? AppendZoneOverBox(slab, slabDims, encoding, zones[i])
            : AppendZoneAlongValues(slab, static_cast<int>(plane * (z1 - z0)), encoding, zones[i]);
    if (!encoded) return false;
    firstIndexes.push_back(plane * z0);
  }
  return AppendZonedStream(magic, firstIndexes, zones, out);
}

}  // namespace orv::codectools
