// Bounded little-endian reading and writing of stream fields.
//
// ByteCursor never reads outside [begin, end): a read that does not fit returns false and leaves
// the cursor where it was, so every field of a stream is checked at the point it is read.
#pragma once

#include <cstdint>
#include <cstring>

#include "support/CvnArray.h"

namespace orv {

class ByteCursor {
 public:
  ByteCursor(const void* begin, const void* end)
      : position_(static_cast<const unsigned char*>(begin)),
        end_(static_cast<const unsigned char*>(end)) {
    if (end_ < position_) end_ = position_;
  }

  const unsigned char* position() const { return position_; }
  const unsigned char* end() const { return end_; }
  unsigned long long remaining() const { return static_cast<unsigned long long>(end_ - position_); }

  bool skip(unsigned long long bytes) {
    if (bytes > remaining()) return false;
    position_ += bytes;
    return true;
  }
  bool readBytes(void* out, unsigned long long bytes) {
    if (bytes > remaining()) return false;
    if (bytes) std::memcpy(out, position_, static_cast<size_t>(bytes));
    position_ += bytes;
    return true;
  }
  bool readU8(unsigned char& out) { return readBytes(&out, 1); }
  bool readU16(unsigned short& out) {
    unsigned char b[2];
    if (!readBytes(b, 2)) return false;
    out = static_cast<unsigned short>(b[0] | (b[1] << 8));
    return true;
  }
  bool readU32(uint32_t& out) {
    unsigned char b[4];
    if (!readBytes(b, 4)) return false;
    out = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
          (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
    return true;
  }
  bool readI32(int& out) {
    uint32_t u;
    if (!readU32(u)) return false;
    out = static_cast<int>(u);
    return true;
  }
  bool readF32(float& out) {
    uint32_t u;
    if (!readU32(u)) return false;
    std::memcpy(&out, &u, 4);
    return true;
  }
  bool readU64(uint64_t& out) {
    uint32_t low, high;
    if (remaining() < 8 || !readU32(low) || !readU32(high)) return false;
    out = static_cast<uint64_t>(low) | (static_cast<uint64_t>(high) << 32);
    return true;
  }

 private:
  const unsigned char* position_;
  const unsigned char* end_;
};

// Appends little-endian fields to a byte array; false (array emptied by CvnArray) when it cannot grow.
class ByteAppender {
 public:
  explicit ByteAppender(CVNUtils::CvnArray<char, long long>& out) : out_(out) {}

  bool bytes(const void* data, long long n) {
    const long long at = out_.size();
    if (n <= 0) return true;
    if (!out_.SetSize(at + n)) return false;
    std::memcpy(out_.data + at, data, static_cast<size_t>(n));
    return true;
  }
  bool u8(unsigned char v) { return bytes(&v, 1); }
  bool u16(unsigned short v) {
    const unsigned char b[2] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)};
    return bytes(b, 2);
  }
  bool u32(uint32_t v) {
    const unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                static_cast<unsigned char>(v >> 16),
                                static_cast<unsigned char>(v >> 24)};
    return bytes(b, 4);
  }
  bool i32(int v) { return u32(static_cast<uint32_t>(v)); }
  bool f32(float v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    return u32(u);
  }

 private:
  CVNUtils::CvnArray<char, long long>& out_;
};

}  // namespace orv
