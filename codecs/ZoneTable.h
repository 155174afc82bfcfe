// The container of a zoned grid-codec stream, read in one place for the decoder and for people
// inspecting a cache. After the stream's two-byte magic: a 16-bit zone count n, n 32-bit first
// value indexes, n 32-bit byte offsets into the zone area, then the zone area. Each zone starts
// with a two-byte zone magic and its method byte.
#pragma once

namespace orv {

struct ZoneTable {
  // Bytes of a zone before its method byte (the zone magic).
  static constexpr unsigned long long kZoneMagicBytes = 2;

  int zoneCount = 0;
  unsigned long long headerBytes = 0;  // from the stream's start to the zone area
  const unsigned char* zoneArea = nullptr;
  unsigned long long areaBytes = 0;

  // The zone's first value index and its offset in the zone area, as stored (i < zoneCount).
  long long firstIndex(int i) const { return field(firstIndexes_, i); }
  long long offset(int i) const { return field(offsets_, i); }

  // Reads the table of the stream stream[0 .. size), which starts with its magic. False when the
  // table does not fit the bytes; the entries themselves are not checked.
  bool read(const unsigned char* stream, unsigned long long size);

 private:
  static long long field(const unsigned char* table, int i);

  const unsigned char* firstIndexes_ = nullptr;
  const unsigned char* offsets_ = nullptr;
};

}  // namespace orv
