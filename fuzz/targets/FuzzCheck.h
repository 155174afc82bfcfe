// Invariant checks of the harnesses: a broken one prints where and aborts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

[[noreturn]] void FuzzFailure(const char* file, int line, const char* condition);

#define FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : FuzzFailure(__FILE__, __LINE__, #condition))

// Reads fields off the front of a fuzz input; past the end every field reads as zero.
class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t u8() { return at_ < size_ ? data_[at_++] : 0; }
  uint32_t u32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(u8()) << (8 * i);
    return v;
  }
  const uint8_t* rest() const { return data_ + at_; }
  size_t restSize() const { return size_ - at_; }
  // The rest of the input up to the first NUL (or all of it) as a string; the input moves past
  // the string and its NUL.
  std::string text() {
    std::string s;
    while (at_ < size_ && data_[at_] != 0) s += static_cast<char>(data_[at_++]);
    if (at_ < size_) ++at_;
    return s;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};
