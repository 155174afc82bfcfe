// UTF-8 / UTF-16 conversion with escape code points, and the UTF-8 file helpers.
#include "support/TextConversion.h"

#include <cstdint>
#include <cstring>

#include "support/Allocation.h"
#include "support/platform/Platform.h"

namespace {

// Largest code point for each UTF-8 sequence length (index = length).
const uint32_t kLengthLimit[7] = {0, 0x7F, 0x7FF, 0xFFFF, 0x1FFFFF, 0x3FFFFFF, 0x7FFFFFFF};

const uint32_t kEscapeFirst = 0x100000;
const uint32_t kEscapeLast = 0x1000FF;

bool isSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }
bool isLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

int leadingOnes(unsigned char byte) {
  int n = 0;
  while (n < 8 && (byte & (0x80u >> n))) ++n;
  return n;
}

// Collects UTF-16 units under the capacity rules; counts only when there is no output.
class Utf16Writer {
 public:
  Utf16Writer(char16_t* output, size_t capacity) : output_(output), capacity_(capacity) {}

  bool unit(uint32_t value) {
    if (output_) {
      if (written_ >= capacity_) return false;
      output_[written_] = static_cast<char16_t>(value);
    }
    ++written_;
    return true;
  }

  bool pair(uint32_t first, uint32_t second) {
    if (output_) {
      if (capacity_ < 3 || written_ > capacity_ - 3) return false;
      output_[written_] = static_cast<char16_t>(first);
      output_[written_ + 1] = static_cast<char16_t>(second);
    }
    written_ += 2;
    return true;
  }

  bool escapedBytes(const unsigned char* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
      if (!pair(0xDBC0, 0xDC00 + bytes[i])) return false;
    }
    return true;
  }

  size_t finish() {
    if (output_ && written_ < capacity_) output_[written_] = 0;
    return written_;
  }

 private:
  char16_t* output_;
  size_t capacity_;
  size_t written_ = 0;
};

}  // namespace

size_t Utf8ToUtf16(const char* text, char16_t* output, size_t capacity) {
  Utf16Writer writer(output, capacity);
  if (!text) return writer.finish();
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  // A surrogate that came from a three-byte sequence and stands alone in the output. A low
  // surrogate right after it would be read back as a pair, so such a low surrogate is escaped.
  bool previousLoneSurrogate = false;
  size_t i = 0;
  while (bytes[i]) {
    const unsigned char lead = bytes[i];
    if (lead < 0x80) {
      if (!writer.unit(lead)) break;
      previousLoneSurrogate = false;
      ++i;
      continue;
    }
    const int n = leadingOnes(lead);
    if (n == 1 || n > 6) {
      if (!writer.escapedBytes(bytes + i, 1)) break;
      previousLoneSurrogate = false;
      ++i;
      continue;
    }
    uint32_t cp = lead & ((1u << (7 - n)) - 1);
    int consumed = 1;
    while (consumed < n && (bytes[i + consumed] & 0xC0) == 0x80) {
      cp = (cp << 6) | (bytes[i + consumed] & 0x3F);
      ++consumed;
    }
    bool valid = consumed == n && cp > kLengthLimit[n - 1] &&
                 !(cp >= kEscapeFirst && cp <= kEscapeLast) && cp < 0x110000;
    if (valid && previousLoneSurrogate && isLowSurrogate(cp)) valid = false;
    bool written;
    if (!valid) {
      written = writer.escapedBytes(bytes + i, static_cast<size_t>(consumed));
      previousLoneSurrogate = false;
    } else if (cp <= 0xFFFF) {
      written = writer.unit(cp);
      previousLoneSurrogate = isSurrogate(cp);
    } else {
      written = writer.pair(0xD800 + ((cp - 0x10000) >> 10), 0xDC00 + (cp & 0x3FF));
      previousLoneSurrogate = false;
    }
    if (!written) break;
    i += static_cast<size_t>(consumed);
  }
  return writer.finish();
}

size_t Utf16ToUtf8(const char16_t* text, char* output, size_t capacity) {
  size_t written = 0;
  if (text) {
    for (size_t i = 0; text[i];) {
      uint32_t cp = text[i];
      size_t units = 1;
      if (isSurrogate(cp) && isLowSurrogate(text[i + 1])) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint32_t>(text[i + 1]) - 0xDC00);
        units = 2;
      }
      unsigned char encoded[6];
      size_t length = 1;
      if (cp >= kEscapeFirst && cp <= kEscapeLast) {
        encoded[0] = static_cast<unsigned char>(cp - kEscapeFirst);
      } else if (cp <= 0x7F) {
        encoded[0] = static_cast<unsigned char>(cp);
      } else {
        while (cp > kLengthLimit[length]) ++length;
        for (size_t k = length - 1; k > 0; --k) {
          encoded[k] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
          cp >>= 6;
        }
        encoded[0] = static_cast<unsigned char>((0xFF00u >> length) | cp);
      }
      if (output) {
        if (length > capacity || written > capacity - length) break;
        std::memcpy(output + written, encoded, length);
      }
      written += length;
      i += units;
    }
  }
  if (output && written < capacity) output[written] = '\0';
  return written;
}

WideText::WideText(const char* text) : text_(text) {}

WideText::~WideText() { deleteArray(wide_); }

const char16_t* WideText::get() {
  if (wide_ || !text_) return wide_;
  const size_t length = Utf8ToUtf16(text_, nullptr, 0);
  char16_t* copy = nullptr;
  if (!newArray(copy, static_cast<unsigned long long>(length) + 1)) return nullptr;
  Utf8ToUtf16(text_, copy, length + 1);
  wide_ = copy;
  return wide_;
}

std::FILE* OpenFileUtf8(const char* name, const char* mode) {
  // The platform opens files by their UTF-8 bytes directly.
  return orv::platform::OpenFile(name, mode);
}

long long FileModificationTime(const char* name) {
  long long nanoseconds = 0;
  if (!orv::platform::FileModificationTimeNs(name, nanoseconds)) return 0;
  return nanoseconds;
}
