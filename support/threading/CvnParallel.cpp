#include "support/threading/CvnParallel.h"

#include <new>

#include "support/Log.h"
#include "support/platform/DynamicLibrary.h"
#include "support/threading/DefaultThreadCount.h"
#include "support/threading/RunShares.h"
#include "support/threading/ThreadManagerStack.h"
#include "support/threading/WinThreadManager.h"

namespace CVNUtils {
namespace {

// Jobs are small records, not threads; the bound only keeps a caller from asking for absurd counts.
constexpr int kMaxJobs = 1024;
// How long a run on the library's own pool waits for its helpers to return after the last share.
// That pool starts a new thread for every task that finds no idle worker, so a helper still on its
// way would make the next run start another thread.
constexpr int kOwnPoolHelperReturnMs = 5;

// Work handed to a thread manager of another module runs this module's code on threads it cannot
// join: from then on the module stays loaded until the process ends.
void keepModuleForForeignThreads() {
  static std::atomic<bool> kept{false};
  if (kept.exchange(true)) return;
  orv::platform::KeepThisModuleLoaded();
}

}  // namespace

// ---- Job ----

Job::Job() = default;

Job::~Job() {
  // Unlinked one by one, so a long chain cannot exhaust the stack.
  while (next) {
    Job* following = next;
    next = following->next;
    following->next = nullptr;
    delete following;
  }
}

void Job::run(void* /*data*/) {
  if (owner) owner->processShare(*this, owner->holder != nullptr);
  done.set();
}

const char* Job::name() { return owner ? owner->name() : "MTJobWithoutOwner"; }

// ---- CvnParallel ----

CvnParallel::CvnParallel(KUtils::ThreadManager* manager)
    : manager(manager), managerGiven(manager != nullptr) {}

CvnParallel::~CvnParallel() {
  destroyJobs();
  jobCount = 0;
  manager = nullptr;
  delete holder;
  holder = nullptr;
}

void CvnParallel::processJob(Job& /*job*/) {}

const char* CvnParallel::name() { return "CvnParallel"; }

int CvnParallel::status() { return statusCode.load(); }

Job* CvnParallel::createJob() { return new (std::nothrow) Job(); }

void CvnParallel::configure(int, void*) {}

int CvnParallel::defaultThreadCount() { return DefaultThreadCount(); }

KUtils::ThreadManager* CvnParallel::currentManager() {
  if (!managerGiven) manager = CurrentThreadManager();
  return manager;
}

void CvnParallel::destroyJobs() {
  delete jobs;
  jobs = nullptr;
  placements.Clear();
}

bool CvnParallel::setupThreads(int threads, const NumaPlacementTable* placementTable,
                               const unsigned char* nodeSelection) {
  if (!currentManager()) {
    DebugPrint(
        "Using CvnParallel without a thread manager. The code will run in single threaded "
        "mode\n");
    DebugPrint("Please check the %s implementation.\n", name());
    if (threads != -1) {
      DebugPrint(
          "Using CvnParallel without threadManager with 'threads' != -1!When the thread manager "
          "is missing 'threads' value is FORCED to 1.This may BREAK YOUR code!\n");
    }
    threads = 1;
  } else if (threads < 1) {
    threads = defaultThreadCount();
  }
  if (threads < 1) threads = 1;
  if (threads > kMaxJobs) threads = kMaxJobs;

  if (jobs && threads == jobCount) {
    applyPlacement(placementTable, nodeSelection);
    return true;
  }

  destroyJobs();
  jobName = name();
  if (manager) manager->setLowPriority(1);
  const bool ok = buildJobs(threads);
  if (!ok) {
    DebugPrint("CvnParallel: %s could not make its jobs; running single threaded\n", jobName);
    destroyJobs();
    // One job on the calling thread.
    Job* job = createJob();
    jobCount = job ? 1 : 0;
    if (job) {
      job->owner = this;
      job->index = 0;
      jobs = job;
    }
  }
  applyPlacement(placementTable, nodeSelection);
  return ok;
}

bool CvnParallel::buildJobs(int threads) {
  jobCount = threads;
  Job** tail = &jobs;
  for (int i = 0; i < threads; ++i) {
    Job* job = createJob();
    if (!job) return false;
    job->owner = this;
    job->index = i;
    *tail = job;
    tail = &job->next;
  }
  return true;
}

void CvnParallel::applyPlacement(const NumaPlacementTable* table,
                                 const unsigned char* nodeSelection) {
  placements.Clear();
  if (!manager || !table || !nodeSelection || !table->placementUseful()) return;
  if (!placements.SetSize(jobCount)) return;
  NumaPlacementCursor cursor;
  for (SharePlacement& placement : placements) {
    const NumaNodeEntry* entry = cursor.next(*table, nodeSelection);
    if (!entry) {
      placements.Clear();
      return;
    }
    placement = SharePlacement{entry->group, entry->mask};
  }
}

void CvnParallel::splitRange(long long total) {
  if (!jobs) setupThreads(-1, nullptr, nullptr);
  const long long n = jobCount;
  long long previousEnd = 0;
  long long i = 1;
  for (Job* job = jobs; job; job = job->next, ++i) {
    job->start = previousEnd;
    // total * i cannot overflow for any item count a process can hold (i <= kMaxJobs).
    job->end = job->next ? total * i / n : total;
    job->size = job->end - job->start;
    previousEnd = job->end;
  }
}

void CvnParallel::installHolder(TMTJobProcHolderInterface* newHolder) {
  if (holder == newHolder) return;
  delete holder;
  holder = newHolder;
}

void CvnParallel::beginRun(KUtils::ProgressCallback* runProgress) {
  progress = runProgress;
  progressCount.exchange(0);
  statusCode.exchange(0);
  counterA.exchange(0);
  counterB.exchange(0);
  if (!jobs) setupThreads(-1, nullptr, nullptr);
}

void CvnParallel::runJobs(int mode, KUtils::ProgressCallback* runProgress) {
  installHolder(nullptr);
  beginRun(runProgress);
  dispatch(false, true, mode);
}

void CvnParallel::runHolderJobs(KUtils::ProgressCallback* runProgress) {
  beginRun(runProgress);
  if (!holder) return;
  dispatch(true, false, 0);
}

void CvnParallel::processShare(Job& job, bool throughHolder) {
  auto work = [&] {
    if (throughHolder) {
      holder->processJob(job);
    } else {
      processJob(job);
    }
  };
  try {
    if (job.index >= 0 && job.index < placements.size()) {
      orv::platform::ScopedThreadAffinity onNode(placements[job.index].group,
                                                 placements[job.index].mask);
      work();
    } else {
      work();
    }
  } catch (...) {
    // Every share is counted as processed, so the run ends; the failure shows in status().
    statusCode.store(-1);
  }
}

void CvnParallel::dispatch(bool throughHolder, bool setMode, int runMode) {
  if (setMode) {
    for (Job* job = jobs; job; job = job->next) job->mode = runMode;
  }
  KUtils::ThreadManager* pool = jobCount > 1 ? currentManager() : nullptr;
  RunShares* run = pool ? RunShares::create(*this, throughHolder) : nullptr;
  if (!run) {
    for (Job* job = jobs; job; job = job->next) processShare(*job, throughHolder);
    return;
  }
  const bool ownPool = KUtils::WinThreadManager::IsLocalPool(pool);
  if (!ownPool) keepModuleForForeignThreads();
  run->postHelpers(*pool);
  run->takeShares();
  run->waitForShares(progress, progressCount);
  if (ownPool) run->waitForHelpers(kOwnPoolHelperReturnMs);
  run->release();
}

}  // namespace CVNUtils
