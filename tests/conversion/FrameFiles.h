// Cache files prepared for the end-to-end tests: copies of the reference frames and broken variants.
#pragma once

#include <string>
#include <vector>

// The bytes of a reference frame (a file name in the reference folder).
std::vector<char> ReferenceFrameBytes(const std::string& name);

// Writes bytes to path, replacing any file there; fails the current test when it cannot.
void WriteBytes(const std::string& path, const std::vector<char>& bytes);

// Breaks the zlib block of the packed colour record (channel 18) so that it cannot be inflated,
// leaving everything else of the file as it is. False when the file holds no such record.
bool CorruptPackedColourBlock(std::vector<char>& bytes);
