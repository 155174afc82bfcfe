// Cache files prepared for the end-to-end tests: copies of the reference frames and broken
// variants.
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

// Enough address space for a converter and a small frame; not for the frame of WriteFrameBeyond-
// AddressLimit, whose two channels and grids need more.
constexpr long long kConverterAddressSpaceKiB = 1ll << 20;

// Writes a small file holding a 512^3 frame of two constant channels (temperature and smoke).
void WriteFrameBeyondAddressLimit(const std::string& path);
