// Checked reads from an open cache file: every read, seek and skip is tested against the file's
// size and failure throws IOErrException after logging the read's diagnostic text.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>

#include "support/Log.h"
#include "support/platform/Platform.h"

struct IOErrException {};

class CacheFileReader {
 public:
  CacheFileReader(std::FILE* file, long long size) : file_(file), size_(size) {}

  long long size() const { return size_; }
  long long position() const { return orv::platform::Tell64(file_); }
  long long remaining() const {
    const long long at = position();
    return at < 0 || at > size_ ? 0 : size_ - at;
  }

  void seek(long long offset, const char* text = nullptr) {
    if (offset < 0 || offset > size_ || orv::platform::Seek64(file_, offset, SEEK_SET) != 0) {
      fail(text);
    }
  }
  // Moves forward by count bytes, which must lie inside the file.
  void skip(long long count, const char* text = nullptr) {
    if (count < 0 || count > remaining()) fail(text);
    seek(position() + count, text);
  }
  void read(void* destination, long long count, const char* text = nullptr) {
    if (count < 0 || count > remaining()) fail(text);
    if (count > 0 && std::fread(destination, 1, static_cast<size_t>(count), file_) !=
                         static_cast<size_t>(count)) {
      fail(text);
    }
  }
  template <typename T>
  T value(const char* text = nullptr) {
    T v;
    read(&v, sizeof v, text);
    return v;
  }
  int int32(const char* text = nullptr) { return value<int>(text); }
  long long int64(const char* text = nullptr) { return value<long long>(text); }

  // A count that must be non-negative and whose items of itemBytes each fit in the rest of the
  // file; anything else is a broken file.
  long long count(long long n, long long itemBytes, const char* text = nullptr) {
    if (n < 0 || (itemBytes > 0 && n > remaining() / itemBytes)) fail(text);
    return n;
  }
  // int32 byte count, then that many bytes.
  std::string string(const char* text = nullptr) {
    const long long n = count(int32(text), 1, text);
    std::string s(static_cast<size_t>(n), '\0');
    read(&s[0], n, text);
    return s;
  }

  [[noreturn]] static void fail(const char* text) {
    if (text) LogMessage("%s", text);
    throw IOErrException();
  }

 private:
  std::FILE* file_;
  long long size_;
};
