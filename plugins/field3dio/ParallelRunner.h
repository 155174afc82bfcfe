// Work shared among the jobs of one CvnParallel on a thread manager, or run on the calling thread
// when there is none. One runner serves every parallel step of an import, so its jobs are set up
// once. Bodies run on worker threads and must not throw.
#pragma once

#include <functional>

#include "orv/ThreadManager.h"
#include "support/threading/CvnParallel.h"

namespace Field3dIo {

class ParallelRunner : private CVNUtils::CvnParallel {
 public:
  // A null manager runs everything on the calling thread.
  explicit ParallelRunner(KUtils::ThreadManager* manager);

  int jobs() const { return jobCount > 0 ? jobCount : 1; }
  // Runs body(job, jobs) once for every job 0 .. jobs-1 and waits; the body takes its own share.
  void everyJob(const std::function<void(int job, int jobs)>& body);
  // Runs body(first, last) over contiguous shares of [0, count) and waits.
  void forRange(long long count, const std::function<void(long long first, long long last)>& body);

 private:
  void processJob(CVNUtils::Job& job) override;
  const char* name() override { return "field3dio decode"; }

  std::function<void(CVNUtils::Job&)> body_;
};

}  // namespace Field3dIo
