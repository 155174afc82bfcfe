// Parallel bounding box of a group's particle positions, with a count of unusable positions.
#pragma once

#include "cache/particles/Box.h"
#include "support/CvnArray.h"
#include "support/threading/CvnParallel.h"

class PGroup;

class MTComputeParticlesBbox : public CVNUtils::CvnParallel {
 public:
  explicit MTComputeParticlesBbox(KUtils::ThreadManager* manager = nullptr);

  void processJob(CVNUtils::Job& job) override;
  const char* name() override;

  // Runs the jobs over all particles of group; grows box by the good positions and returns the
  // number of bad ones (sum of coordinates not finite or of magnitude >= 100000) in badCount.
  // False when the per-job arrays cannot be sized.
  bool run(PGroup& group, KUtils::Box& box, int& badCount);

  PGroup* group = nullptr;
  CVNUtils::CvnArray<KUtils::Box, int> boxes;  // one per job
  CVNUtils::CvnArray<int, int> badCounts;      // one per job
};
