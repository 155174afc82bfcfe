// One zlib stream inflated into a buffer of known size.
#pragma once

// True when the whole zlib stream in source[0 .. sourceLength) was inflated into destination,
// which holds destinationLength bytes. Otherwise logs "[ERROR] Decompressing Zip (%d)\n" with
// zlib's code and returns false; a destination longer than the content keeps its tail.
bool InflateBlock(const void* source, unsigned int sourceLength, void* destination,
                  unsigned int destinationLength);
// The same, also giving the bytes the stream filled from the start of destination.
bool InflateBlock(const void* source, unsigned int sourceLength, void* destination,
                  unsigned int destinationLength, unsigned int& produced);
