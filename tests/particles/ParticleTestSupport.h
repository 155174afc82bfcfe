// Helpers shared by the particle tests: group construction and log capture.
#pragma once

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "cache/particles/PGroup.h"
#include "tests/support/CapturedOutput.h"
#include "support/Log.h"
#include "tools/codec/StreamWriter.h"

template <typename T>
std::vector<char> asBytes(const std::vector<T>& values) {
  std::vector<char> bytes(values.size() * sizeof(T));
  if (!bytes.empty()) std::memcpy(bytes.data(), values.data(), bytes.size());
  return bytes;
}

inline void storeChannel(PGroup& group, int channel, int method, const std::vector<char>& bytes) {
  ASSERT_TRUE(group.setCompressedChannel(channel, method, bytes.data(),
                                         static_cast<long long>(bytes.size())));
}

// Single-zone grid-codec stream of raw floats.
inline std::vector<char> rawFloatStream(const std::vector<float>& values) {
  std::vector<char> out;
  orv::codectools::AppendRawZone(values.data(), static_cast<int>(values.size()), out);
  return out;
}

// A group whose ID channel holds ids (raw, method 0) and whose position channel is present.
inline void fillIds(PGroup& group, const std::vector<long long>& ids) {
  group.particleCount = static_cast<int>(ids.size());
  ASSERT_TRUE(group.setChannelData(kParticleIdChannel, ids.data(), -1));
}
