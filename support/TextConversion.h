// Conversion between the library's 8-bit (UTF-8) strings and UTF-16, and the file helpers that
// take UTF-8 names.
//
// Bytes that do not decode as UTF-8 are carried in UTF-16 by the escape code points U+100000 +
// byte (the surrogate pair 0xDBC0, 0xDC00 + byte), so every byte string converts to UTF-16 and back
// unchanged.
#pragma once

#include <cstddef>
#include <cstdio>

// Converts NUL-terminated UTF-8 to UTF-16 and returns the number of units of the result, without
// the terminator. A null output only counts. Otherwise at most `capacity` units are written: one
// unit while fewer than `capacity` are written, a surrogate pair only when a unit stays free after
// it; the conversion stops at the first character that does not fit, and a terminating 0 follows
// when room is left.
size_t Utf8ToUtf16(const char* text, char16_t* output, size_t capacity);

// Converts NUL-terminated UTF-16 to UTF-8 and returns the number of bytes of the result, without
// the terminator. A null output only counts. A character is written only when all its bytes fit
// within `capacity`; the conversion stops at the first one that does not, and a terminating 0
// follows when room is left.
size_t Utf16ToUtf8(const char16_t* text, char* output, size_t capacity);

// The UTF-16 form of a borrowed 8-bit string, converted once on first request.
class WideText {
 public:
  explicit WideText(const char* text);
  ~WideText();
  WideText(const WideText&) = delete;
  WideText& operator=(const WideText&) = delete;

  // Null when the string is null or the copy could not be allocated.
  const char16_t* get();

 private:
  const char* text_;
  char16_t* wide_ = nullptr;
};

// Opens a file by its UTF-8 name with a stdio mode such as "rb"; null when it cannot be opened.
std::FILE* OpenFileUtf8(const char* name, const char* mode);

// Modification time of a file in nanoseconds since the epoch; 0 when the name is null or empty or
// the file cannot be examined.
long long FileModificationTime(const char* name);
