// Velocity of grid-bound particle groups, sampled from the frame's velocity grid channels 4..6
// at each particle's position (in grid coordinates).
#include "cache/particles/PGroup.h"

#if __has_include("cache/CorvaneFrameData.h")
#include "cache/CorvaneFrameData.h"

namespace {
constexpr int kVelocityX = orv::channels::kVelocityX;
}  // namespace

bool PGroup::frameHasGridVelocity() { return frame && frame->hasChannel(kVelocityX) == 1; }

int PGroup::sampleGridVelocity(unsigned int index, float* out) {
  if (!frame || !hasChannel(kParticleVelocityChannel)) return 0;
  for (int id = kVelocityX; id < kVelocityX + 3; ++id) {
    if (!frame->getChannel(id)) {
      out[0] = out[1] = out[2] = 0.0f;  // no velocity grid to sample
      return 0;
    }
  }
  float position[3];
  if (!getParticle(index, kParticlePositionChannel, position)) return 0;
  return frame->sampleChannels(kVelocityX, position, out, 3);
}

#else
// Builds without the frame model (particle groups on their own) have no grid to sample.
bool PGroup::frameHasGridVelocity() { return false; }
int PGroup::sampleGridVelocity(unsigned int, float*) { return 0; }
#endif
