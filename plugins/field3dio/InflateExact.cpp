#include "plugins/field3dio/InflateExact.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace Field3dIo {

bool InflateExact(const void* source, size_t sourceLength, void* destination, size_t destinationLength) {
  z_stream stream = {};
  if (inflateInit(&stream) != Z_OK) return false;
  const unsigned char* in = static_cast<const unsigned char*>(source);
  unsigned char* out = static_cast<unsigned char*>(destination);
  size_t inLeft = sourceLength, outLeft = destinationLength;
  int result = Z_OK;
  // zlib counts in 32 bits: feed both sides in pieces.
  while (result == Z_OK) {
    const uInt inPiece = static_cast<uInt>(std::min<size_t>(inLeft, UINT_MAX));
    const uInt outPiece = static_cast<uInt>(std::min<size_t>(outLeft, UINT_MAX));
    stream.next_in = const_cast<unsigned char*>(in);
    stream.avail_in = inPiece;
    stream.next_out = out;
    stream.avail_out = outPiece;
    result = inflate(&stream, Z_NO_FLUSH);
    const size_t read = inPiece - stream.avail_in, written = outPiece - stream.avail_out;
    in += read;
    inLeft -= read;
    out += written;
    outLeft -= written;
    if (result == Z_OK && read == 0 && written == 0) break;  // no progress: input or room ran out
  }
  inflateEnd(&stream);
  return result == Z_STREAM_END && outLeft == 0 && inLeft == 0;
}

}  // namespace Field3dIo
