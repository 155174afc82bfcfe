// A whole .orv file from bytes: written to a scratch file, loaded in full and header-only, then
// every grid channel and every particle channel requested and read end to end.

#include <cstdio>
#include <filesystem>
#include <string>

#include "cache/CorvaneFrameData.h"
#include "support/DecodeBudget.h"
#include "support/platform/Platform.h"
#include "fuzz/targets/FuzzCheck.h"
#include "fuzz/targets/FuzzTargets.h"

namespace {

const std::string& scratchPath() {
  static const std::string path =
      (std::filesystem::temp_directory_path() / ("orv-fuzz-" + std::to_string(orv::platform::CurrentProcessId()) + ".orv"))
          .string();
  return path;
}

bool writeScratch(const uint8_t* data, size_t size) {
  std::FILE* file = std::fopen(scratchPath().c_str(), "wb");
  if (!file) return false;
  const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && written;
}

// Touches values across the whole channel, the last one included, so that a channel shorter
// than the grid shows as an out-of-bounds read without summing every value of a large grid.
float sumValues(const float* values, long long count) {
  constexpr long long kStride = 4093;
  float sum = 0;
  for (long long i = 0; i < count; i += kStride) sum += values[i];
  return count > 0 ? sum + values[count - 1] : sum;
}

// Grids the library accepts may take gigabytes; the harness decodes only grids that keep a run
// within the fuzzer's memory limit. Larger ones take the same decode paths.
constexpr long long kHarnessMaxVoxels = 4ll << 20;

void readGridChannels(CorvaneFrameData& frame) {
  if (frame.voxelCount() > kHarnessMaxVoxels) return;
  volatile float sink = 0;
  for (int id = -1; id <= CorvaneFrameData::kChannelCount; ++id) {
    const int claimed = frame.hasChannel(id);
    FUZZ_CHECK(claimed == 0 || claimed == 1);
    const float* values = frame.getChannel(id);
    if (values) sink = sink + sumValues(values, frame.voxelCount());
  }
  const float corner[3] = {0.5f, 0.5f, 0.5f};
  float sampled[CorvaneFrameData::kChannelCount];
  frame.sampleChannels(0, corner, sampled, CorvaneFrameData::kChannelCount);
}

void readParticleGroup(PGroup& group) {
  volatile unsigned char sink = 0;
  const int count = group.getParticleCount();
  FUZZ_CHECK(count >= 0);
  for (int channel = -1; channel <= kParticleChannelCount; ++channel) {
    if (!group.hasChannel(channel)) continue;
    const long long bytes = group.getChannelByteSize(channel);
    // channelData answers for exactly the particles its decoded data holds.
    for (long long index = 0; bytes > 0; ++index) {
      const unsigned char* value = static_cast<unsigned char*>(group.channelData(index, channel));
      if (!value) break;
      for (long long b = 0; b < bytes; ++b) sink = sink + value[b];
    }
    float out[8];
    group.getParticle(0, channel, out);
    if (count > 0) group.getParticle(static_cast<unsigned int>(count - 1), channel, out);
    group.getParticle(static_cast<unsigned int>(count), channel, out);
  }
  const long long* ids = static_cast<const long long*>(group.channelData(0, kParticleIdChannel));
  if (ids && group.particleCount > 0) {
    // The first stored ID is always found, at some particle holding it.
    const int found = group.findParticleById(ids[0]);
    FUZZ_CHECK(found >= 0 && found < group.particleCount);
  }
  group.findParticleById(-1);
}

// Particle counts and grids may legitimately claim gigabytes; the harness keeps every decode
// within the fuzzer's memory limit through the decode budget.
constexpr long long kHarnessDecodeCap = 256ll << 20;

void loadAndRead(bool infoOnly) {
  CorvaneFrameData frame;
  const int result = frame.ImportOrv(scratchPath().c_str(), true, infoOnly);
  FUZZ_CHECK(result == 0 || result == 3 || result == 4 || result == 12);
  if (result != 0) return;
  int size[3];
  frame.getGridSize(size);
  if (!infoOnly) readGridChannels(frame);
  const int groups = frame.getParticleGroupCount();
  for (int g = 0; g < groups; ++g) FUZZ_CHECK(frame.getParticleGroup(g) != nullptr);
  FUZZ_CHECK(frame.getParticleGroup(groups) == nullptr);
  if (!infoOnly) {
    for (PGroup& group : frame.particleGroups) readParticleGroup(group);
  }
}

}  // namespace

int FuzzOrvFile(const uint8_t* data, size_t size) {
  if (!writeScratch(data, size)) return 0;
  orv::DecodeBudget::Process().setCap(kHarnessDecodeCap);
  loadAndRead(true);
  loadAndRead(false);
  std::remove(scratchPath().c_str());
  return 0;
}
