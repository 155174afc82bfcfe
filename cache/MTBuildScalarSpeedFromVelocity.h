// Parallel job deriving the speed channel from the three velocity components.
#pragma once

#include "support/threading/CvnParallel.h"

class MTBuildScalarSpeedFromVelocity : public CVNUtils::CvnParallel {
 public:
  MTBuildScalarSpeedFromVelocity() : CvnParallel(nullptr) {}
  const char* name() override { return "MTBuildScalarSpeedFromVelocity"; }
  // speed[c] = sqrt((vy*vy + vx*vx) + vz*vz) over the job's range of cells.
  void processJob(CVNUtils::Job& job) override {
    for (long long c = job.start; c < job.end; ++c) {
      speed[c] = __builtin_sqrtf((vy[c] * vy[c] + vx[c] * vx[c]) + vz[c] * vz[c]);
    }
  }

  const float* vx = nullptr;
  const float* vy = nullptr;
  const float* vz = nullptr;
  float* speed = nullptr;
};
