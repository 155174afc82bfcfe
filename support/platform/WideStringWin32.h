// UTF-8 <-> UTF-16 at the boundary of the Win32 calls: every name the library holds is UTF-8, and
// every file, library and debugger call of Windows here takes its UTF-16 form.
#pragma once

#include <string>

#include "support/TextConversion.h"

namespace orv {
namespace platform {

// The UTF-16 form of a UTF-8 string (null: empty).
inline std::wstring WideFromUtf8(const char* text) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");
  if (!text) return std::wstring();
  std::wstring wide(Utf8ToUtf16(text, nullptr, 0), L'\0');
  Utf8ToUtf16(text, reinterpret_cast<char16_t*>(&wide[0]), wide.size() + 1);
  return wide;
}

// The UTF-8 form of a UTF-16 string.
inline std::string Utf8FromWide(const wchar_t* text) {
  if (!text) return std::string();
  const char16_t* units = reinterpret_cast<const char16_t*>(text);
  std::string bytes(Utf16ToUtf8(units, nullptr, 0), '\0');
  Utf16ToUtf8(units, &bytes[0], bytes.size() + 1);
  return bytes;
}

}  // namespace platform
}  // namespace orv
