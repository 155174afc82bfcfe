// One zlib stream inflated into a buffer it must fill exactly.
#pragma once

#include <cstddef>

namespace Field3dIo {

// Deflate cannot expand its input by more than about 1032 times; a stream that claims more output
// than this many times its own length is damaged, and no buffer is sized for it.
constexpr unsigned long long kMaxInflateRatio = 1032;

// True when source[0 .. sourceLength) is one complete zlib stream whose content is exactly
// destinationLength bytes, now in destination. Safe on any input.
bool InflateExact(const void* source, size_t sourceLength, void* destination, size_t destinationLength);

}  // namespace Field3dIo
