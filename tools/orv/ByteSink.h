// Little-endian appending to a byte vector, with patching of fields written earlier.
#pragma once

#include <cstring>
#include <string>
#include <vector>

namespace orv::writer {

class ByteSink {
 public:
  explicit ByteSink(std::vector<char>& out) : out_(out) {}

  long long size() const { return static_cast<long long>(out_.size()); }
  void bytes(const void* data, size_t count) {
    const char* first = static_cast<const char*>(data);
    if (count > 0) out_.insert(out_.end(), first, first + count);
  }
  void bytes(const std::vector<char>& data) { bytes(data.data(), data.size()); }
  // The host is little-endian (x86-64), so a value's own bytes are its stored form.
  template <typename T>
  void put(T value) {
    bytes(&value, sizeof value);
  }
  void i32(int value) { put(value); }
  void i64(long long value) { put(value); }
  void f32(float value) { put(value); }
  void f64(double value) { put(value); }
  // int32 byte count, then the bytes.
  void string(const std::string& text) {
    i32(static_cast<int>(text.size()));
    bytes(text.data(), text.size());
  }
  // Zero bytes up to the next multiple of four.
  void padToWord() {
    while (out_.size() % 4 != 0) out_.push_back(0);
  }
  template <typename T>
  void patch(long long at, T value) {
    std::memcpy(out_.data() + at, &value, sizeof value);
  }

 private:
  std::vector<char>& out_;
};

}  // namespace orv::writer
