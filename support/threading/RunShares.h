// One run of a CvnParallel: its jobs as shares that the calling thread and helpers posted to a
// thread manager claim one at a time.
//
// The caller never waits for a share that no thread took: it takes every share left itself. It
// waits only for shares a helper is processing, which end with the work. A run is reference
// counted (the caller and every posted helper hold a reference), so a helper that starts after
// the run ended still finds it, sees no share left and returns without touching the CvnParallel.
#pragma once

#include <atomic>

#include "orv/ThreadManager.h"
#include "support/CvnArray.h"
#include "support/platform/Threads.h"

namespace CVNUtils {

class CvnParallel;
class Job;
class RunHelper;

class RunShares {
 public:
  // The run of `owner`'s job chain, holding the caller's reference; null when memory is exhausted.
  static RunShares* create(CvnParallel& owner, bool throughHolder);
  // Posts one helper for each share beyond the first to `manager` and returns how many it
  // accepted; posting stops at the first refusal.
  int postHelpers(KUtils::ThreadManager& manager);
  // Claims and processes shares until none is left.
  void takeShares();
  // Waits until every share is processed, calling `progress` (may be null) every 10 ms.
  void waitForShares(KUtils::ProgressCallback* progress, const std::atomic<int>& progressCount);
  // Waits up to `milliseconds` for the posted helpers to return.
  void waitForHelpers(int milliseconds);
  // Drops one reference; the last frees the run.
  void release();

 private:
  friend class RunHelper;
  RunShares() = default;
  ~RunShares();
  // A helper's whole life on its worker; the run may be gone once it returns.
  void help();

  CvnParallel* owner = nullptr;
  bool throughHolder = false;
  CvnArray<Job*, int> shares;
  std::atomic<int> nextShare{0};
  std::atomic<int> unfinished{0};
  orv::platform::Event allProcessed{true};
  RunHelper* helpers = nullptr;
  std::atomic<int> helpersOut{0};
  orv::platform::Event helperReturned{false};
  std::atomic<int> references{1};
  char name[32] = {};
};

}  // namespace CVNUtils
