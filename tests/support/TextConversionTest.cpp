#include "support/TextConversion.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

std::u16string toUtf16(const std::string& bytes) {
  const size_t length = Utf8ToUtf16(bytes.c_str(), nullptr, 0);
  std::u16string out(length + 1, u'\0');
  EXPECT_EQ(Utf8ToUtf16(bytes.c_str(), &out[0], out.size()), length);
  out.resize(length);
  return out;
}

std::string toUtf8(const std::u16string& units) {
  const size_t length = Utf16ToUtf8(units.c_str(), nullptr, 0);
  std::string out(length + 1, '\0');
  EXPECT_EQ(Utf16ToUtf8(units.c_str(), &out[0], out.size()), length);
  out.resize(length);
  return out;
}

}  // namespace

TEST(TextConversion, KnownSequences) {
  EXPECT_EQ(toUtf16("A\xC3\xA9"), (std::u16string{0x41, 0xE9}));
  EXPECT_EQ(toUtf16("\xFF"), (std::u16string{0xDBC0, 0xDCFF}));
  EXPECT_EQ(toUtf16("\xC0\x80"), (std::u16string{0xDBC0, 0xDCC0, 0xDBC0, 0xDC80}));
  EXPECT_EQ(toUtf16("\xF4\x80\x81\x81").size(), 8u);  // U+100041 lies in the escape range
  EXPECT_EQ(toUtf16("\xF0\x9F\x98\x80"), (std::u16string{0xD83D, 0xDE00}));
}

TEST(TextConversion, EveryByteStringRoundTrips) {
  const char* fixed[] = {"A\xC3\xA9", "\xFF", "\xC0\x80", "\xF4\x80\x81\x81",
                         "\xED\xA0\x80\xED\xB0\x80", "\xED\xAF\x80\xED\xB1\x81", "\xE2\x82"};
  for (const char* text : fixed) EXPECT_EQ(toUtf8(toUtf16(text)), text);
  std::mt19937 random(12345);
  for (int round = 0; round < 20000; ++round) {
    std::string bytes(random() % 12, '\0');
    for (char& b : bytes) b = static_cast<char>(1 + random() % 255);
    ASSERT_EQ(toUtf8(toUtf16(bytes)), bytes);
  }
}

TEST(TextConversion, CapacityIsNeverExceeded) {
  char16_t units[3] = {1, 1, 1};
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80", units, 2), 0u);  // a pair needs a free unit after it
  EXPECT_EQ(units[0], 0);
  char bytes[2] = {1, 1};
  const char16_t e[] = {0xE9, 0};
  EXPECT_EQ(Utf16ToUtf8(e, bytes, 1), 0u);
  EXPECT_EQ(bytes[0], 0);
}
