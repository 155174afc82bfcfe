// Locks of one particle group, kept out of the group so the group can be relocated by byte copy.
#pragma once

#include <mutex>

#include "cache/particles/ParticleChannelTable.h"

struct PGroupLocks {
  std::mutex group;                         // building the ID order
  std::mutex slot[kParticleChannelCount];  // decoding one channel
};
