#include "cache/particles/ParticleChannelTable.h"

namespace {

constexpr ParticleChannelInfo kNone{0, 0, 0};
constexpr ParticleChannelInfo kFloat3{3, 10, 3};
constexpr ParticleChannelInfo kFloat1{1, 10, 1};
constexpr ParticleChannelInfo kId{2, 7, 1};
constexpr ParticleChannelInfo kAttribute{1, 6, 1};
constexpr ParticleChannelInfo kWord{1, 0, 1};

constexpr ParticleChannelInfo kTable[kParticleChannelCount] = {
    kFloat3, kFloat3, kFloat1, kFloat1, kFloat3, kFloat1, kNone,      kNone,
    kNone,   kFloat1, kId,     kFloat1, kAttribute, kAttribute, kAttribute, kAttribute,
    kAttribute, kFloat1, kWord, kWord, kWord, kWord, kWord, kWord,
    kWord,   kWord,   kWord,   kWord,   kWord, kWord, kWord, kWord,
};

}  // namespace

const ParticleChannelInfo& ParticleChannelInfoFor(int channel) {
  if (channel < 0 || channel >= kParticleChannelCount) return kNone;
  return kTable[channel];
}
