#include "codecs/ZipBlock.h"

#include <zlib.h>

#include <cstring>

#include "support/Log.h"

struct InflateParts::State {
  z_stream stream;
};

InflateParts::InflateParts(const void* source, unsigned int sourceLength)
    : state_(new (std::nothrow) State) {
  if (!state_) return;
  z_stream& stream = state_->stream;
  std::memset(&stream, 0, sizeof stream);
  stream.next_in = static_cast<Bytef*>(const_cast<void*>(source));
  stream.avail_in = sourceLength;
  // A failed initialisation leaves no inflate state; inflate then answers Z_STREAM_ERROR.
  inflateInit(&stream);
}

InflateParts::~InflateParts() {
  if (state_) inflateEnd(&state_->stream);
}

bool InflateParts::fail(int code) {
  failed_ = true;
  LogMessage("[ERROR] Decompressing Zip (%d)\n", code);
  return false;
}

bool InflateParts::Next(void* destination, unsigned int length, unsigned int& produced) {
  produced = 0;
  if (failed_) return false;
  if (ended_) return true;
  if (!state_) return fail(Z_MEM_ERROR);
  z_stream& stream = state_->stream;
  const bool progressed = stream.total_in > 0 || stream.total_out > 0;
  stream.next_out = static_cast<Bytef*>(destination);
  stream.avail_out = length;
  const int result = inflate(&stream, Z_SYNC_FLUSH);
  produced = length - stream.avail_out;
  if (result == Z_STREAM_END) {
    ended_ = true;
    return true;
  }
  // A full part: the stream goes on in the next one.
  if (result == Z_OK && stream.avail_out == 0) return true;
  // Stalled for want of input: one inflate over all parts would have answered Z_OK once any
  // progress was made (Z_BUF_ERROR means none at all).
  if (result == Z_OK || (result == Z_BUF_ERROR && progressed)) return fail(Z_OK);
  return fail(result);
}

bool InflateParts::Finish() {
  if (failed_) return false;
  // The parts are full and the stream goes on: a destination too small.
  return ended_ || fail(Z_OK);
}

bool InflateBlock(const void* source, unsigned int sourceLength, void* destination,
                  unsigned int destinationLength) {
  unsigned int produced = 0;
  return InflateBlock(source, sourceLength, destination, destinationLength, produced);
}

// One part over the whole destination.
bool InflateBlock(const void* source, unsigned int sourceLength, void* destination,
                  unsigned int destinationLength, unsigned int& produced) {
  InflateParts parts(source, sourceLength);
  return parts.Next(destination, destinationLength, produced) && parts.Finish();
}
