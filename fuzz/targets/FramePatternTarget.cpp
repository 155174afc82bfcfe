// Frame-number patterns: expansion, token detection, number extraction, formatting and the path
// helpers on arbitrary text, with the properties every input must keep.
#include <climits>
#include <string>

#include "fuzz/targets/FuzzCheck.h"
#include "fuzz/targets/FuzzTargets.h"
#include "support/FramePattern.h"

int FuzzFramePattern(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const int frame = static_cast<int>(in.u32());
  const int width = static_cast<int8_t>(in.u8());
  const bool zeroPadding = in.u8() & 1;
  const std::string replacement = in.text();
  const std::string pattern = in.text();

  const std::string expanded = ExpandFramePattern(pattern.c_str(), frame, replacement.c_str());
  const std::string blank = ExpandFramePattern(pattern.c_str(), NoFrame, replacement.c_str());
  // A pattern without a token expands to itself.
  if (!HasFrameToken(pattern.c_str())) FUZZ_CHECK(expanded == pattern && blank == pattern);
  FrameNumberFromFileName(pattern.c_str());
  FrameNumberFromFileName(expanded.c_str());
  HasFrameToken(expanded.c_str());

  const std::string number = FormatFrameNumber(frame, width, zeroPadding);
  if (frame != INT_MIN) {
    FUZZ_CHECK(!number.empty());
    const int capped = width > 12 ? 12 : width;
    FUZZ_CHECK(static_cast<int>(number.size()) >= capped);
  }
  FormatFrameNumberUnsigned(frame, width, zeroPadding);

  std::string rest;
  const std::string directory = DirectoryPart(pattern.c_str(), &rest, false);
  FUZZ_CHECK(directory + rest == pattern);
  const std::string stripped = DirectoryPart(pattern.c_str(), nullptr, true);
  FUZZ_CHECK(stripped.size() <= directory.size());
  const std::string extension = LowerExtension(pattern.c_str());
  FUZZ_CHECK(extension.size() <= pattern.size());
  return 0;
}
