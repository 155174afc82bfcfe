#include "support/threading/RunShares.h"

#include <cstdint>
#include <cstdio>
#include <new>

#include "support/threading/CvnParallel.h"

namespace CVNUtils {

// What a thread manager runs: one helper of a run.
class RunHelper final : public KUtils::ThreadProcedure {
 public:
  void run(void* /*data*/) override { shares->help(); }
  const char* name() override { return shares->name; }

  RunShares* shares = nullptr;
};

RunShares* RunShares::create(CvnParallel& owner, bool throughHolder) {
  RunShares* run = new (std::nothrow) RunShares();
  if (!run) return nullptr;
  run->owner = &owner;
  run->throughHolder = throughHolder;
  std::snprintf(run->name, sizeof run->name, "%s", owner.jobName ? owner.jobName : "");
  bool listed = run->shares.SetSize(owner.jobCount > 0 ? owner.jobCount : 0);
  int count = 0;
  for (Job* job = owner.jobs; listed && job && count < run->shares.size(); job = job->next) {
    run->shares[count++] = job;
  }
  if (listed && count > 1) {
    run->helpers = new (std::nothrow) RunHelper[count - 1];
    listed = run->helpers != nullptr;
    for (int h = 0; listed && h < count - 1; ++h) run->helpers[h].shares = run;
  }
  if (!listed) {
    delete run;
    return nullptr;
  }
  run->shares.SetSize(count);
  run->unfinished.store(count);
  if (count == 0) run->allProcessed.set();
  return run;
}

RunShares::~RunShares() { delete[] helpers; }

int RunShares::postHelpers(KUtils::ThreadManager& manager) {
  int posted = 0;
  for (int h = 0; h + 1 < shares.size(); ++h) {
    // Counted before the post: the helper may run, and return, before runAsync does.
    references.fetch_add(1);
    helpersOut.fetch_add(1);
    int result = -1;
    try {
      result = manager.runAsync(&helpers[h], reinterpret_cast<void*>(static_cast<intptr_t>(h + 1)),
                                h + 1);
    } catch (...) {
      result = -1;
    }
    if (result != 0) {
      // Not taken: the caller's own reference keeps the run alive.
      helpersOut.fetch_sub(1);
      references.fetch_sub(1);
      break;
    }
    ++posted;
  }
  return posted;
}

void RunShares::takeShares() {
  for (;;) {
    const int share = nextShare.fetch_add(1);
    if (share >= shares.size()) return;
    owner->processShare(*shares[share], throughHolder);
    // The last share lets the caller return, and with it end the CvnParallel: nothing of the owner
    // is touched after this.
    if (unfinished.fetch_sub(1) == 1) allProcessed.set();
  }
}

void RunShares::waitForShares(KUtils::ProgressCallback* progress,
                              const std::atomic<int>& progressCount) {
  while (!allProcessed.waitFor(10)) {
    if (progress) {
      progress->setProgress(progressCount.load());
      progress->pump();
    }
  }
}

void RunShares::waitForHelpers(int milliseconds) {
  const long long deadline = orv::platform::MonotonicMilliseconds() + milliseconds;
  while (helpersOut.load() > 0) {
    const long long left = deadline - orv::platform::MonotonicMilliseconds();
    if (left <= 0 || !helperReturned.waitFor(static_cast<int>(left))) return;
  }
}

void RunShares::help() {
  takeShares();
  if (helpersOut.fetch_sub(1) == 1) helperReturned.set();
  release();
}

void RunShares::release() {
  if (references.fetch_sub(1) == 1) delete this;
}

}  // namespace CVNUtils
