// One stored particle channel: the input's header chooses channel, method and particle count, its
// rest is the stored bytes. Decoding either fails or yields exactly the data the count implies.
#include "cache/particles/PGroup.h"
#include "fuzz/targets/FuzzCheck.h"
#include "fuzz/targets/FuzzTargets.h"

int FuzzParticleChannel(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const int channel = in.u8() % kParticleChannelCount;
  const int method = static_cast<int8_t>(in.u8());
  // Counts stay small enough for quick runs; negative ones are kept. The decode bounds for huge
  // counts are covered by the regression tests.
  constexpr int kMaxParticles = 1 << 16;
  int particles = static_cast<int>(in.u32());
  if (particles > kMaxParticles) particles %= kMaxParticles;
  PGroup group;
  group.particleCount = particles;
  if (!group.setCompressedChannel(channel, method, in.rest(), static_cast<long long>(in.restSize()))) {
    return 0;
  }
  const bool decoded = group.decompressChannel(channel, true);
  if (!decoded) return 0;
  const long long bytes = group.slots[channel].data.size();
  const long long perParticle = ParticleChannelByteSize(channel);
  // Method 0 keeps the stored length; every other method decodes exactly count x width.
  if (method != 0) FUZZ_CHECK(bytes == static_cast<long long>(particles) * perParticle);
  volatile unsigned char sink = 0;
  for (long long b = 0; b < bytes; ++b) sink = sink + group.slots[channel].data.data[b];
  if (perParticle > 0 && bytes >= perParticle) {
    FUZZ_CHECK(group.channelData(bytes / perParticle - 1, channel) != nullptr);
  }
  if (perParticle > 0) FUZZ_CHECK(group.channelData(bytes / perParticle, channel) == nullptr);
  return 0;
}
