// UTF-8 to UTF-16 and back: counting matches converting, every byte string round-trips, and a
// bounded conversion writes a prefix of the full result inside its capacity.
#include <string>
#include <vector>

#include "fuzz/targets/FuzzCheck.h"
#include "fuzz/targets/FuzzTargets.h"
#include "support/TextConversion.h"

namespace {

// Capacities tried besides the ones around the full length, so that long inputs stay quick.
constexpr size_t kSmallCapacities = 8;

template <typename Unit, typename Convert>
void checkBounded(const std::basic_string<Unit>& full, Convert convert, size_t capacity) {
  std::vector<Unit> out(capacity + 1, static_cast<Unit>(0x55));
  const size_t written = convert(out.data(), capacity);
  FUZZ_CHECK(written <= capacity && written <= full.size());
  FUZZ_CHECK(std::basic_string<Unit>(out.data(), written) == full.substr(0, written));
  if (written < capacity) FUZZ_CHECK(out[written] == 0);
  FUZZ_CHECK(out[capacity] == static_cast<Unit>(0x55));  // nothing past the capacity
}

void fromUtf8(const std::string& text) {
  const size_t counted = Utf8ToUtf16(text.c_str(), nullptr, 0);
  std::u16string wide(counted + 1, u'\0');
  FUZZ_CHECK(Utf8ToUtf16(text.c_str(), &wide[0], wide.size()) == counted);
  wide.resize(counted);
  const size_t back = Utf16ToUtf8(wide.c_str(), nullptr, 0);
  std::string narrow(back + 1, '\0');
  FUZZ_CHECK(Utf16ToUtf8(wide.c_str(), &narrow[0], narrow.size()) == back);
  narrow.resize(back);
  FUZZ_CHECK(narrow == text);

  auto convert = [&](char16_t* out, size_t capacity) {
    return Utf8ToUtf16(text.c_str(), out, capacity);
  };
  for (size_t c = 0; c < kSmallCapacities; ++c) checkBounded(wide, convert, c);
  for (size_t c = counted > 2 ? counted - 2 : 0; c <= counted + 2; ++c) checkBounded(wide, convert, c);
}

void fromUtf16(const std::u16string& units) {
  const size_t counted = Utf16ToUtf8(units.c_str(), nullptr, 0);
  std::string narrow(counted + 1, '\0');
  FUZZ_CHECK(Utf16ToUtf8(units.c_str(), &narrow[0], narrow.size()) == counted);
  narrow.resize(counted);
  auto convert = [&](char* out, size_t capacity) {
    return Utf16ToUtf8(units.c_str(), out, capacity);
  };
  for (size_t c = 0; c < kSmallCapacities; ++c) checkBounded(narrow, convert, c);
  for (size_t c = counted > 4 ? counted - 4 : 0; c <= counted + 2; ++c) checkBounded(narrow, convert, c);
  WideText wide(narrow.c_str());
  FUZZ_CHECK(wide.get() != nullptr);
}

}  // namespace

int FuzzTextConversion(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  fromUtf8(text.substr(0, text.find('\0')));
  std::u16string units;
  for (size_t i = 0; i + 1 < size; i += 2) {
    const char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (unit == 0) break;
    units += unit;
  }
  fromUtf16(units);
  return 0;
}
