// Fixed layout of the 32 particle channels: storage width, reported type and component count.
#pragma once

constexpr int kParticleChannelCount = 32;
constexpr int kParticlePositionChannel = 0;
constexpr int kParticleVelocityChannel = 1;
constexpr int kParticleIdChannel = 10;

struct ParticleChannelInfo {
  int wordsPerParticle;  // 32-bit words one particle occupies in the decoded data
  int typeCode;          // 10 float, 7 64-bit integer, 6 32-bit attribute, 0 untyped/none
  int components;        // components reported to hosts
};

// Layout of a channel; channels outside 0..31 have no storage (all zero).
const ParticleChannelInfo& ParticleChannelInfoFor(int channel);

inline int ParticleChannelWords(int channel) {
  return ParticleChannelInfoFor(channel).wordsPerParticle;
}

// Bytes of one particle's value in a channel.
inline int ParticleChannelByteSize(int channel) { return 4 * ParticleChannelWords(channel); }
