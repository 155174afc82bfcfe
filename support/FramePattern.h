// Frame-number file-name patterns: a run of '#', a specifier such as %04d, or a tag such as
// <frame04> stands for the frame number. All operations work byte by byte, with no locale.
#pragma once

#include <string>

#include "support/StringList.h"

// The frame value meaning "no frame number": expansion writes the replacement text instead, and
// FrameNumberFromFileName returns it for names without a number.
constexpr int NoFrame = 2147483647;

// Expands every token in the file-name part of `pattern`; the directory part is copied unchanged.
// With NoFrame each token becomes `replacement` (its first 15 characters). Null pattern: "".
std::string ExpandFramePattern(const char* pattern, int frame, const char* replacement);

// True when the text, directory part included, holds at least one frame token.
bool HasFrameToken(const char* text);

// The last run of digits before the extension (a '-' directly before it makes it negative), or
// NoFrame when the name has none.
int FrameNumberFromFileName(const char* name);

// Signed decimal in a field of at least `width` (capped at 12) characters, padded with zeros
// after the sign or with blanks before it; -2147483648 gives the empty text.
std::string FormatFrameNumber(int value, int width, bool zeroPadding);
// The 32-bit pattern as an unsigned decimal; the pattern 0x80000000 gives the empty text.
std::string FormatFrameNumberUnsigned(int value, int width, bool zeroPadding);

// The prefix of `path` through its last '\' or '/' (empty when it has none). `rest` receives the
// file name; `stripTrailingSeparators` removes the separators that end the prefix.
std::string DirectoryPart(const char* path, std::string* rest = nullptr,
                          bool stripTrailingSeparators = false);

// The characters after the last '.' of the path, in lower case; empty without a dot.
std::string LowerExtension(const char* path);

// Fills `list` with the full names of the entries matching `wildcard` ('*' and '?' in its last
// component), sorted, "." and names beginning with ".." left out. False, with the list untouched,
// when the directory cannot be read or nothing matches.
bool ListMatchingFiles(const char* wildcard, StringList& list);
