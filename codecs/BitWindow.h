// Reading a memory source of an entropy stream 64 bits at a time, least significant bit first.
#pragma once

#include <cstdint>

// Written out so that compilers merge it into one load.
inline uint64_t LoadLittleEndian64(const unsigned char* p) {
  return static_cast<uint64_t>(p[0]) | (static_cast<uint64_t>(p[1]) << 8) |
         (static_cast<uint64_t>(p[2]) << 16) | (static_cast<uint64_t>(p[3]) << 24) |
         (static_cast<uint64_t>(p[4]) << 32) | (static_cast<uint64_t>(p[5]) << 40) |
         (static_cast<uint64_t>(p[6]) << 48) | (static_cast<uint64_t>(p[7]) << 56);
}

// The next bits of a memory source in a 64-bit word, refilled eight bytes at a time: its low
// `available` bits are the next bits of the stream, and its bits above them are zero or the
// stream's bits after those. Bytes before p are in the word or consumed.
struct BitWindow {
  uint64_t bits = 0;
  int available = 0;
  const unsigned char* p = nullptr;

  // Tops the word up to at least 56 valid bits; eight bytes from p must lie in the source.
  void refill() {
    bits |= LoadLittleEndian64(p) << available;
    p += (63 - available) >> 3;
    available |= 56;
  }
  void consume(int n) {
    bits >>= n;
    available -= n;
  }
};
