#include "support/threading/CvnParallel.h"

#include <cstdint>
#include <new>

#include "support/Log.h"
#include "support/threading/DefaultThreadCount.h"
#include "support/threading/ThreadManagerStack.h"

namespace CVNUtils {
namespace {

// Each job occupies one worker for the life of its owner: bound the count a caller can ask for.
constexpr int kMaxJobs = 1024;

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
  stopThread();
}

void Job::stopThread() {
  if (!parkedOnWorker) return;
  parkedOnWorker = false;
  quit.set();
  go.set();
  if (!exited.waitFor(100)) {
    LogMessage("#job of %s did not exit properly\n", owner ? owner->jobName : "");
    // The thread still refers to this job: it must be gone before the job's memory is freed.
    exited.wait();
  }
}

void Job::run(void* /*data*/) {
  CvnParallel* parallel = owner;
  parallel->jobStarted(*this);
  for (;;) {
    go.wait();
    if (quit.waitFor(0)) {
      exited.set();
      return;
    }
    go.reset();
    if (parallel->holder) {
      parallel->holder->processJob(*this);
    } else {
      parallel->processJob(*this);
    }
    done.set();
  }
}

const char* Job::name() { return owner ? owner->name() : "MTJobWithoutOwner"; }

// ---- CvnParallel ----

CvnParallel::CvnParallel(KUtils::ThreadManager* manager) : manager(manager) {}

CvnParallel::~CvnParallel() {
  closeThreadHandles();
  destroyJobs();
  jobCount = 0;
  manager = nullptr;
  threadHandles.Clear();
  delete holder;
  holder = nullptr;
}

void CvnParallel::processJob(Job& /*job*/) {}

const char* CvnParallel::name() { return "CvnParallel"; }

int CvnParallel::status() { return statusCode.load(); }

Job* CvnParallel::createJob() { return new (std::nothrow) Job(); }

void CvnParallel::configure(int, void*) {}

int CvnParallel::defaultThreadCount() { return DefaultThreadCount(); }

void CvnParallel::destroyJobs() {
  delete jobs;
  jobs = nullptr;
  onWorkers = false;
}

void CvnParallel::closeThreadHandles() {
  for (void*& handle : threadHandles) {
    orv::platform::CloseThreadHandle(handle);
    handle = nullptr;
  }
}

bool CvnParallel::setupThreads(int threads, const NumaPlacementTable* placementTable,
                               const unsigned char* nodeSelection) {
  if (!manager) manager = CurrentThreadManager();
  if (!manager) {
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
  bool ok = buildJobs(threads);
  if (!ok) {
    DebugPrint("CvnParallel: %s could not start its jobs on worker threads; running single "
               "threaded\n",
               jobName);
    destroyJobs();
    closeThreadHandles();
    threadHandles.Clear();
    // One job on the calling thread cannot fail to start.
    Job* job = createJob();
    jobCount = job ? 1 : 0;
    if (job) {
      job->owner = this;
      job->index = 0;
      jobs = job;
    }
  }
  applyPlacement(placementTable, nodeSelection);
  startedCount.store(0);
  allStarted.reset();
  return ok;
}

bool CvnParallel::buildJobs(int threads) {
  closeThreadHandles();
  void* const none = nullptr;
  if (manager) {
    if (!threadHandles.SetSize(threads, &none)) return false;
  } else {
    threadHandles.Clear();
  }
  jobCount = threads;
  startedCount.store(0);
  allStarted.reset();

  Job** tail = &jobs;
  int handedOut = 0;
  bool ok = true;
  for (int i = 0; i < threads; ++i) {
    Job* job = createJob();
    if (!job) {
      ok = false;
      break;
    }
    job->owner = this;
    job->index = i;
    *tail = job;
    tail = &job->next;
    if (!manager) continue;
    job->parkedOnWorker = true;
    int result = -1;
    try {
      result = manager->runAsync(job, reinterpret_cast<void*>(static_cast<intptr_t>(i)), i);
    } catch (...) {
      result = -1;
    }
    if (result != 0) {
      job->parkedOnWorker = false;
      ok = false;
      break;
    }
    ++handedOut;
  }
  if (manager) {
    // Jobs that reached a worker report in before anything else happens to them.
    while (startedCount.load() < handedOut) allStarted.waitFor(10);
    onWorkers = ok;
  }
  return ok;
}

void CvnParallel::jobStarted(Job& job) {
  if (job.index >= 0 && job.index < threadHandles.size()) {
    threadHandles[job.index] = orv::platform::DuplicateCurrentThreadHandle();
  }
  if (startedCount.fetch_add(1) + 1 >= jobCount) allStarted.set();
}

void CvnParallel::applyPlacement(const NumaPlacementTable* table,
                                 const unsigned char* nodeSelection) {
  if (!onWorkers || !table || !nodeSelection || !table->placementUseful()) return;
  NumaPlacementCursor cursor;
  int position = 0;
  for (Job* job = jobs; job; job = job->next, ++position) {
    const NumaNodeEntry* entry = cursor.next(*table, nodeSelection);
    if (!entry || position >= threadHandles.size() || !threadHandles[position]) continue;
    orv::platform::SetThreadAffinity(threadHandles[position], entry->group, entry->mask);
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

void CvnParallel::dispatch(bool throughHolder, bool setMode, int runMode) {
  for (Job* job = jobs; job; job = job->next) {
    if (setMode) job->mode = runMode;
    if (onWorkers) {
      job->done.reset();
      job->go.set();
    } else if (throughHolder) {
      holder->processJob(*job);
    } else {
      processJob(*job);
    }
  }
  if (!onWorkers) return;
  for (Job* job = jobs; job; job = job->next) {
    while (!job->done.waitFor(10)) {
      if (progress) {
        progress->setProgress(progressCount.load());
        progress->pump();
      }
    }
  }
}

}  // namespace CVNUtils
