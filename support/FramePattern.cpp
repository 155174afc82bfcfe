// Frame-number file-name patterns.
#include "support/FramePattern.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "support/platform/Platform.h"

namespace {

const int kMaxWidth = 12;
const size_t kMaxReplacement = 15;

bool isSeparator(char c) { return c == '\\' || c == '/'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

enum class TokenKind { Hash, Percent, Tag };

struct Token {
  size_t begin = 0;
  size_t end = 0;  // one past the token's last character
  TokenKind kind = TokenKind::Hash;
  int width = 0;
  bool zeroPadding = false;
  bool isUnsigned = false;
};

// Reads an optional '0' flag and width digits at text[i]; the width saturates at the 12 cap, so
// long digit runs cannot overflow.
size_t readFlagAndWidth(const char* text, size_t i, Token& token) {
  token.zeroPadding = false;
  token.width = 0;
  if (text[i] == '0') {
    token.zeroPadding = true;
    ++i;
  }
  while (isDigit(text[i])) {
    if (token.width <= kMaxWidth) token.width = token.width * 10 + (text[i] - '0');
    ++i;
  }
  if (token.width > kMaxWidth) token.width = kMaxWidth;
  return i;
}

// Finds the first token at or after `from` in text[0, length).
bool nextToken(const char* text, size_t length, size_t from, Token& token) {
  size_t i = from;
  while (i < length) {
    const char c = text[i];
    if (c == '%') {
      if (text[i + 1] == '%') {
        i += 2;
        continue;
      }
      const size_t letter = readFlagAndWidth(text, i + 1, token);
      const char kind = text[letter];
      if (kind && std::strchr("diuDIU", kind)) {
        token.begin = i;
        token.end = letter + 1;
        token.kind = TokenKind::Percent;
        token.isUnsigned = kind == 'u' || kind == 'U';
        return true;
      }
      ++i;
    } else if (c == '<') {
      if (std::strncmp(text + i + 1, "frame", 5) != 0) {
        i += 2;  // the character after '<' never starts a token; a trailing '<' ends the scan
        continue;
      }
      const size_t close = readFlagAndWidth(text, i + 6, token);
      if (text[close] != '>') {
        ++i;
        continue;
      }
      token.begin = i;
      token.end = close + 1;
      token.kind = TokenKind::Tag;
      token.isUnsigned = false;
      return true;
    } else if (c == '#') {
      size_t run = i;
      while (text[run] == '#') ++run;
      token.begin = i;
      token.end = run;
      token.kind = TokenKind::Hash;
      const size_t hashes = run - i;
      token.width = hashes > static_cast<size_t>(kMaxWidth) ? kMaxWidth : static_cast<int>(hashes);
      token.zeroPadding = true;
      token.isUnsigned = false;
      return true;
    } else {
      ++i;
    }
  }
  return false;
}

std::string padded(const std::string& digits, bool negative, int width, bool zeroPadding) {
  if (width > kMaxWidth) width = kMaxWidth;
  const size_t body = digits.size() + (negative ? 1 : 0);
  const size_t fill = width > 0 && static_cast<size_t>(width) > body ? width - body : 0;
  std::string out;
  if (zeroPadding) {
    if (negative) out.push_back('-');
    out.append(fill, '0');
  } else {
    out.append(fill, ' ');
    if (negative) out.push_back('-');
  }
  return out + digits;
}

std::string decimalDigits(uint32_t value) {
  char reversed[12];
  size_t n = 0;
  do {
    reversed[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value);
  std::string digits;
  while (n > 0) digits.push_back(reversed[--n]);
  return digits;
}

}  // namespace

std::string FormatFrameNumber(int value, int width, bool zeroPadding) {
  if (value == INT32_MIN) return "";
  const bool negative = value < 0;
  const uint32_t magnitude = static_cast<uint32_t>(negative ? -value : value);
  return padded(decimalDigits(magnitude), negative, width, zeroPadding);
}

std::string FormatFrameNumberUnsigned(int value, int width, bool zeroPadding) {
  if (value == INT32_MIN) return "";
  return padded(decimalDigits(static_cast<uint32_t>(value)), false, width, zeroPadding);
}

std::string DirectoryPart(const char* path, std::string* rest, bool stripTrailingSeparators) {
  if (rest) rest->clear();
  if (!path) return "";
  size_t end = 0;
  for (size_t i = 0; path[i]; ++i) {
    if (isSeparator(path[i])) end = i + 1;
  }
  if (rest) *rest = path + end;
  std::string prefix(path, end);
  if (stripTrailingSeparators) {
    while (!prefix.empty() && isSeparator(prefix.back())) prefix.pop_back();
  }
  return prefix;
}

std::string ExpandFramePattern(const char* pattern, int frame, const char* replacement) {
  if (!pattern) return "";
  const size_t length = std::strlen(pattern);
  const size_t scanStart = DirectoryPart(pattern).size();
  std::string replacementText;
  if (replacement) replacementText.assign(replacement, strnlen(replacement, kMaxReplacement));
  std::string out;
  size_t mark = 0;
  Token token;
  for (size_t from = scanStart; nextToken(pattern, length, from, token); from = token.end) {
    out.append(pattern + mark, token.begin - mark);
    if (frame == NoFrame) {
      out += replacementText;
    } else if (token.isUnsigned) {
      out += FormatFrameNumberUnsigned(frame, token.width, token.zeroPadding);
    } else {
      out += FormatFrameNumber(frame, token.width, token.zeroPadding);
    }
    mark = token.end;
  }
  out.append(pattern + mark, length - mark);
  return out;
}

bool HasFrameToken(const char* text) {
  if (!text) return false;
  Token token;
  return nextToken(text, std::strlen(text), 0, token);
}

int FrameNumberFromFileName(const char* name) {
  if (!name) return NoFrame;
  const char* dot = std::strrchr(name, '.');
  if (!dot) return NoFrame;
  for (const char* c = dot; *c; ++c) {
    if (isSeparator(*c)) return NoFrame;  // the last dot stands before the last separator
  }
  const char* p = dot;
  while (p > name && !isDigit(p[-1])) {
    if (isSeparator(p[-1])) return NoFrame;
    --p;
  }
  if (p == name) return NoFrame;
  const char* last = p;  // one past the run's last digit
  while (p > name && isDigit(p[-1])) --p;
  const bool negative = p > name && p[-1] == '-';
  // Digit runs too long for 32 bits saturate instead of overflowing.
  long long value = 0;
  for (const char* d = p; d < last; ++d) {
    value = value * 10 + (*d - '0');
    if (value > 2147483648LL) value = 2147483648LL;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) value = INT32_MAX;
  return static_cast<int>(value);
}

std::string LowerExtension(const char* path) {
  if (!path) return "";
  const char* dot = std::strrchr(path, '.');
  if (!dot) return "";
  std::string extension(dot + 1);
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return extension;
}

bool ListMatchingFiles(const char* wildcard, StringList& list) {
  if (!wildcard) return false;
  std::string namePattern;
  const std::string prefix = DirectoryPart(wildcard, &namePattern);
  std::vector<std::string> names;
  if (!orv::platform::ListDirectory(prefix, namePattern.c_str(), names)) return false;
  StringList collected;
  for (const std::string& name : names) {
    if (name == "." || name.compare(0, 2, "..") == 0) continue;
    if (!collected.Append((prefix + name).c_str())) return false;
  }
  list.TakeFrom(collected);
  return true;
}
