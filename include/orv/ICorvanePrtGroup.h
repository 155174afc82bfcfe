// One particle group of a frame, as a host sees it. The operations and their order are part of
// the binary interface shared with separately built hosts.
#pragma once

#include "orv/Api.h"

class ORV_API ICorvanePrtGroup {
 public:
  virtual const char* getName() = 0;
  // Number of particles when the position channel (0) is present, else 0.
  virtual int getParticleCount() = 0;
  // Writes the value of particle `index` in `channel` to out; 1 on success, 0 when unavailable.
  virtual int getParticle(unsigned int index, int channel, float* out) = 0;
  virtual int hasChannel(int channel) = 0;
  virtual int getChannelByteSize(int channel) = 0;
  // Index of the particle with that ID, or -1.
  virtual int findParticleById(long long id) = 0;
  virtual int getChannelType(int channel) = 0;
  virtual int getChannelComponents(int channel) = 0;
  virtual ~ICorvanePrtGroup() = default;
};
