#include "codecs/ZipBlock.h"

#include <zlib.h>

#include <cstring>

#include "support/Log.h"

bool InflateBlock(const void* source, unsigned int sourceLength, void* destination,
                  unsigned int destinationLength) {
  unsigned int produced = 0;
  return InflateBlock(source, sourceLength, destination, destinationLength, produced);
}

bool InflateBlock(const void* source, unsigned int sourceLength, void* destination,
                  unsigned int destinationLength, unsigned int& produced) {
  z_stream stream;
  std::memset(&stream, 0, sizeof stream);
  stream.next_in = static_cast<Bytef*>(const_cast<void*>(source));
  stream.avail_in = sourceLength;
  stream.next_out = static_cast<Bytef*>(destination);
  stream.avail_out = destinationLength;
  // A failed initialisation leaves no inflate state; inflate then answers Z_STREAM_ERROR.
  inflateInit(&stream);
  const int result = inflate(&stream, Z_SYNC_FLUSH);
  const bool inflated = result == Z_STREAM_END;
  if (!inflated) LogMessage("[ERROR] Decompressing Zip (%d)\n", result);
  produced = destinationLength - stream.avail_out;
  inflateEnd(&stream);
  return inflated;
}
