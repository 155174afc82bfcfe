// Entry points of the hostile-input harnesses. Each takes one arbitrary input, drives one decoder
// or parser with it, checks what must hold for every input and returns 0. A broken invariant
// aborts with a message, so the fuzzer and the corpus replay both see it as a failure.
#pragma once

#include <cstddef>
#include <cstdint>

// A whole .orv file: load it, then ask for every grid channel and every particle channel.
int FuzzOrvFile(const uint8_t* data, size_t size);
// A whole .f3d file in memory, Ogawa or HDF5: list its grids, import them header-only and in full.
int FuzzField3dFile(const uint8_t* data, size_t size);
// One grid-codec stream decoded by the 1D and the 3D decoder; the first four bytes pick the
// destination capacity.
int FuzzGridCodec1(const uint8_t* data, size_t size);
int FuzzGridCodec3(const uint8_t* data, size_t size);
// One entropy-coded stream decoded from memory, symbol by symbol and through DecodeAndExpand.
int FuzzEntropyDecoder(const uint8_t* data, size_t size);
// One stored particle channel: a header picks channel, method and particle count.
int FuzzParticleChannel(const uint8_t* data, size_t size);
// Mapping-string parsing and the four exported string functions.
int FuzzChannelMappings(const uint8_t* data, size_t size);
// Frame-pattern expansion, detection, number extraction and formatting, and the path helpers.
int FuzzFramePattern(const uint8_t* data, size_t size);
// UTF-8 to UTF-16 and back, with every output capacity up to the full length.
int FuzzTextConversion(const uint8_t* data, size_t size);

// The harnesses by name, for the corpus replay and the fuzzer entry points.
struct FuzzTarget {
  const char* name;
  int (*run)(const uint8_t* data, size_t size);
};
extern const FuzzTarget kFuzzTargets[];
extern const size_t kFuzzTargetCount;
