#include "plugins/field3dio/ParallelRunner.h"

namespace Field3dIo {

ParallelRunner::ParallelRunner(KUtils::ThreadManager* manager) : CvnParallel(manager) {
  // Without a manager of its own the base would take the thread-manager stack's, which this
  // plug-in does not have: everything then runs on the calling thread, as documented.
  setupThreads(-1);
}

void ParallelRunner::processJob(CVNUtils::Job& job) {
  if (body_) body_(job);
}

void ParallelRunner::everyJob(const std::function<void(int, int)>& body) {
  const int count = jobs();
  body_ = [&body, count](CVNUtils::Job& job) { body(job.index, count); };
  runJobs(0);
  body_ = nullptr;
}

void ParallelRunner::forRange(long long count, const std::function<void(long long, long long)>& body) {
  if (count <= 0) return;
  splitRange(count);
  body_ = [&body](CVNUtils::Job& job) {
    if (job.end > job.start) body(job.start, job.end);
  };
  runJobs(0);
  body_ = nullptr;
}

}  // namespace Field3dIo
