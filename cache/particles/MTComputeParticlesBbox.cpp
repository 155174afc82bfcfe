#include "cache/particles/MTComputeParticlesBbox.h"

#include <cmath>
#include <cstring>

#include "cache/particles/PGroup.h"

namespace {

constexpr float kBadPositionSum = 100000.0f;

// A position is unusable when the sum of its coordinates is not finite or of magnitude 1e5 or more.
bool badPosition(const float p[3]) {
  const float sum = p[0] + p[1] + p[2];
  unsigned int bits;
  std::memcpy(&bits, &sum, sizeof bits);
  if ((bits & 0x7F800000u) == 0x7F800000u) return true;
  return std::fabs(sum) >= kBadPositionSum;
}

}  // namespace

MTComputeParticlesBbox::MTComputeParticlesBbox(KUtils::ThreadManager* manager)
    : CvnParallel(manager) {}

const char* MTComputeParticlesBbox::name() { return "MTComputeParticlesBbox"; }

void MTComputeParticlesBbox::processJob(CVNUtils::Job& job) {
  if (!group || job.index < 0 || job.index >= boxes.size() || job.index >= badCounts.size()) return;
  KUtils::Box box = KUtils::EmptyBox();
  int bad = 0;
  for (long long i = job.start; i < job.end; ++i) {
    float p[3];
    if (!group->getParticle(static_cast<unsigned int>(i), 0, p)) continue;
    if (badPosition(p)) {
      ++bad;
      continue;
    }
    for (int a = 0; a < 3; ++a) {
      if (p[a] < box.min[a]) box.min[a] = p[a];
      if (p[a] > box.max[a]) box.max[a] = p[a];
    }
  }
  boxes[job.index] = box;
  badCounts[job.index] = bad;
}

bool MTComputeParticlesBbox::run(PGroup& target, KUtils::Box& box, int& badCount) {
  badCount = 0;
  group = &target;
  setupThreads(-1);
  splitRange(target.particleCount > 0 ? target.particleCount : 0);
  const KUtils::Box empty = KUtils::EmptyBox();
  const int zero = 0;
  if (!boxes.SetSize(jobCount, &empty, true) || !badCounts.SetSize(jobCount, &zero, true)) {
    group = nullptr;
    return false;
  }
  for (int j = 0; j < jobCount; ++j) {
    boxes[j] = empty;
    badCounts[j] = 0;
  }
  runJobs(0);
  for (int j = 0; j < jobCount; ++j) {
    KUtils::GrowBox(box, boxes[j]);
    badCount += badCounts[j];
  }
  group = nullptr;
  return true;
}
