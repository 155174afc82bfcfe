#include "codecs/ZoneTable.h"

#include "codecs/ByteCursor.h"

namespace orv {

bool ZoneTable::read(const unsigned char* stream, unsigned long long size) {
  ByteCursor cursor(stream, stream + size);
  unsigned short magic = 0, count = 0;
  if (!cursor.readU16(magic) || !cursor.readU16(count)) return false;
  if (cursor.remaining() < 8ull * count) return false;
  zoneCount = count;
  firstIndexes_ = cursor.position();
  offsets_ = firstIndexes_ + 4ull * count;
  cursor.skip(8ull * count);
  headerBytes = 4 + 8ull * count;
  zoneArea = cursor.position();
  areaBytes = cursor.remaining();
  return true;
}

long long ZoneTable::field(const unsigned char* table, int i) {
  ByteCursor cursor(table + 4 * i, table + 4 * i + 4);
  int value = 0;
  cursor.readI32(value);
  return value;
}

}  // namespace orv
