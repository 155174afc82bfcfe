#include "support/threading/WinThreadManager.h"

#include "support/Log.h"
#include "support/platform/DynamicLibrary.h"
#include "support/threading/DefaultThreadCount.h"

namespace KUtils {
namespace {

// The managers alive in this module. Deliberately never freed: managers may be destroyed by other
// static destructors.
struct LocalPools {
  std::mutex lock;
  CVNUtils::CvnArray<const ThreadManager*, int> live;
};

LocalPools& localPools() {
  static LocalPools* pools = new LocalPools;
  return *pools;
}

}  // namespace

WinThreadManager::WinThreadManager() : affinityEnabled(CVNUtils::ThreadAffinityEnabled()) {
  DebugPrint("[WinThreadManager] Constructor.\n");
  LocalPools& pools = localPools();
  std::lock_guard<std::mutex> guard(pools.lock);
  // Without room in the list the manager only counts as foreign: its work is still done.
  pools.live.Append(this);
}

WinThreadManager::~WinThreadManager() {
  DebugPrint("[WinThreadManager] Destructor.\n");
  {
    LocalPools& pools = localPools();
    std::lock_guard<std::mutex> guard(pools.lock);
    for (int i = 0; i < pools.live.size(); ++i) {
      if (pools.live[i] != this) continue;
      pools.live.Remove(i, 1, false, false);
      break;
    }
  }
  terminateAll(false);
  std::lock_guard<std::mutex> guard(lock);
  // A counter still in use belongs to a batch whose worker did not stop: it may still signal it.
  if (counterInUse()) counters.abandon();
}

// ---- workers ----

WorkerRecord* WinThreadManager::startWorker() {
  WorkerRecord* record = WorkerRecord::create(&currentWorker);
  if (!record) return nullptr;
  try {
    workers.add() = record;
  } catch (const ExceptionMsg&) {
    WorkerRecord::release(record);
    throw;
  }
  record->state.store(kWorkerCreating);
  return record;
}

WorkerRecord* WinThreadManager::acquireWorker(ProgressCallback* progress) {
  WorkerRecord* created = nullptr;
  {
    std::lock_guard<std::mutex> guard(lock);
    WorkerRecord** idle = workers.find([](WorkerRecord*& worker) {
      int expected = kWorkerIdle;
      return worker->state.compare_exchange_strong(expected, kWorkerClaimed);
    });
    if (idle) return *idle;
    created = startWorker();
    if (!created) return nullptr;
    // The thread's reference is taken before it starts, so the record outlives any early release.
    // It is started under the lock, so terminateAll never takes a record without its thread.
    created->references.fetch_add(1);
    created->thread = orv::platform::StartThread(RunWorkerThread, created, stackSize.load());
    if (!created->thread) {
      // Stays in the list as terminated, so it is never claimed and is freed with the list.
      created->references.fetch_sub(1);
      created->state.store(kWorkerTerminated);
      return nullptr;
    }
  }
  if (progress && progress->needsPumping()) {
    while (created->state.load() == kWorkerCreating) {
      progress->pump();
      orv::platform::SleepMilliseconds(1);
    }
  }
  return created;
}

int WinThreadManager::workerCount() {
  std::lock_guard<std::mutex> guard(lock);
  int running = 0;
  workers.find([&running](WorkerRecord*& worker) {
    if (worker->state.load() != kWorkerTerminated) ++running;
    return false;
  });
  return running;
}

// ---- batches ----

CompletionCounter* WinThreadManager::takeCounter(int count) {
  std::lock_guard<std::mutex> guard(lock);
  CompletionCounter* counter = counters.find([](CompletionCounter& c) {
    bool expected = false;
    return c.inUse.compare_exchange_strong(expected, true);
  });
  if (!counter) {
    counter = &counters.add();
    counter->inUse.store(true);
  }
  counter->remaining.store(count);
  counter->finished.reset();
  return counter;
}

bool WinThreadManager::counterInUse() {
  return counters.find([](CompletionCounter& c) { return c.inUse.load(); }) != nullptr;
}

const CVNUtils::NumaPlacementTable* WinThreadManager::placementTable() {
  if (!affinityEnabled) return nullptr;
  std::lock_guard<std::mutex> guard(lock);
  if (placement.entryCount < 0 && !placement.build()) placement.entryCount = 0;
  return placement.placementUseful() ? &placement : nullptr;
}

void WinThreadManager::postBatch(WorkerRecord& worker, BatchProcedure& procedure,
                                 CompletionCounter& counter, int index, int count,
                                 const CVNUtils::NumaNodeEntry* node) {
  worker.batch = &procedure;
  worker.abortFlag = &procedure.abortValue;
  __atomic_store_n(&worker.progress, 0, __ATOMIC_RELAXED);
  worker.counter = &counter;
  worker.threadCount = count;
  worker.threadIndex = index;
  worker.asyncProcedure = nullptr;
  worker.asyncData = nullptr;
  worker.lowPriority = lowPriority.load() != 0;
  worker.affinity = node ? WorkerAffinity::kNode : WorkerAffinity::kUnchanged;
  if (node) {
    worker.affinityGroup = node->group;
    worker.affinityMask = node->mask;
  }
  if (!worker.queue.post(kMessageBatch)) {
    // The message could not be queued: the thread counts as finished without running.
    worker.state.store(kWorkerIdle);
    FailBatch(&procedure.abortValue);
    counter.countDown();
  }
}

void WinThreadManager::waitForBatch(BatchProcedure& procedure, CompletionCounter& counter,
                                    ProgressCallback* progress, bool reportProgress,
                                    const CVNUtils::CvnArray<WorkerRecord*, int>& batchWorkers) {
  // A caller that keeps its window messages flowing is also woken by their arrival.
  const bool pumping = progress && progress->needsPumping();
  while (!(pumping ? counter.finished.waitForOrInput(200) : counter.finished.waitFor(200))) {
    if (!progress) continue;
    if (progress->needsPumping()) progress->pump();
    if (reportProgress) {
      int done = __atomic_load_n(&procedure.progressCount, __ATOMIC_RELAXED);
      for (WorkerRecord* worker : batchWorkers) {
        done += __atomic_load_n(&worker->progress, __ATOMIC_RELAXED);
      }
      progress->setProgress(done);
    }
    if (const int abort = progress->checkAbort()) {
      __atomic_store_n(&procedure.abortValue, abort, __ATOMIC_RELEASE);
    }
  }
}

int WinThreadManager::run(int count, BatchProcedure* procedure, ProgressCallback* progress,
                          bool reportProgress) {
  if (!procedure || count < 0 || count > kMaxBatchThreads) return -1;
  if (count == 0) count = CVNUtils::DefaultThreadCount();
  __atomic_store_n(&procedure->progressCount, 0, __ATOMIC_RELAXED);
  __atomic_store_n(&procedure->abortValue, 0, __ATOMIC_RELEASE);
  if (progress) {
    progress->log(0, 30000, "Setting up %i thread(s)\n", count);
    progress->beginTask();
  }
  // Every thread gets a worker of its own before any starts, so the threads of a batch run
  // concurrently and may wait for one another.
  CVNUtils::CvnArray<WorkerRecord*, int> batchWorkers;
  bool claimed = batchWorkers.SetSize(count);
  batchWorkers.SetSize(0);
  for (int k = 0; claimed && k < count; ++k) {
    WorkerRecord* worker = nullptr;
    try {
      worker = acquireWorker(progress);
    } catch (const ExceptionMsg&) {
      worker = nullptr;
    }
    claimed = worker && batchWorkers.Append(worker);
    if (worker && !claimed) worker->state.store(kWorkerIdle);
  }
  CompletionCounter* counter = nullptr;
  try {
    if (claimed) counter = takeCounter(count);
  } catch (const ExceptionMsg&) {
    counter = nullptr;
  }
  if (!counter) {
    // Not enough workers: none runs, the batch fails.
    for (WorkerRecord* worker : batchWorkers) worker->state.store(kWorkerIdle);
    __atomic_store_n(&procedure->abortValue, -1, __ATOMIC_RELEASE);
    if (progress) {
      progress->endTask();
      progress->log(0, 30000, "Threads completed\n");
    }
    return -1;
  }
  const CVNUtils::NumaPlacementTable* table = placementTable();
  CVNUtils::NumaPlacementCursor cursor;
  for (int k = 0; k < count; ++k) {
    postBatch(*batchWorkers[k], *procedure, *counter, k, count,
              table ? cursor.next(*table) : nullptr);
  }

  waitForBatch(*procedure, *counter, progress, reportProgress, batchWorkers);
  counter->inUse.store(false);
  if (progress) {
    progress->endTask();
    progress->log(0, 30000, "Threads completed\n");
    if (progress->needsPumping()) progress->pump();
  }
  return __atomic_load_n(&procedure->abortValue, __ATOMIC_ACQUIRE);
}

// ---- asynchronous work ----

int WinThreadManager::runAsync(ThreadProcedure* procedure, void* data, int threadIndex) {
  if (!procedure) return -1;
  WorkerRecord* worker = nullptr;
  try {
    worker = acquireWorker(nullptr);
  } catch (const ExceptionMsg&) {
    return -1;
  }
  if (!worker) return -1;
  worker->asyncProcedure = procedure;
  worker->asyncData = data;
  worker->threadIndex = threadIndex;
  worker->batch = nullptr;
  worker->abortFlag = nullptr;
  worker->counter = nullptr;
  worker->threadCount = 0;
  __atomic_store_n(&worker->progress, 0, __ATOMIC_RELAXED);
  worker->lowPriority = lowPriority.load() != 0;
  worker->affinity = WorkerAffinity::kProcess;
  if (!worker->queue.post(kMessageAsync)) {
    worker->state.store(kWorkerIdle);
    return -1;
  }
  return 0;
}

int WinThreadManager::runAsyncDefault(ThreadProcedure* procedure, void* data) {
  return runAsync(procedure, data, 0);
}

// ---- settings and queries ----

void WinThreadManager::setLowPriority(int flag) { lowPriority.store(flag); }

void WinThreadManager::setStackSize(int bytes) { stackSize.store(bytes > 0 ? bytes : 0); }

int WinThreadManager::getCurrentThreadIndex() {
  const auto* worker = static_cast<const WorkerRecord*>(currentWorker.get());
  return worker ? worker->threadIndex : -1;
}

int WinThreadManager::reserved() { return 0; }

bool WinThreadManager::IsLocalPool(const ThreadManager* manager) {
  LocalPools& pools = localPools();
  std::lock_guard<std::mutex> guard(pools.lock);
  for (const ThreadManager* live : pools.live) {
    if (live == manager) return true;
  }
  return false;
}

// ---- termination ----

namespace {

const char* procedureName(const WorkerRecord& worker) {
  if (ThreadProcedure* procedure = __atomic_load_n(&worker.asyncProcedure, __ATOMIC_ACQUIRE)) {
    if (const char* name = procedure->name()) return name;
  }
  if (worker.batch) return worker.batch->name();
  return nullptr;
}

bool waitForTermination(const WorkerRecord& worker, bool dispatchMessages) {
  const long long begin = orv::platform::MonotonicMilliseconds();
  for (;;) {
    if (worker.state.load() == kWorkerTerminated) return true;
    if (orv::platform::MonotonicMilliseconds() - begin > WinThreadManager::kTerminateTimeoutMs - 1) {
      return false;
    }
    if (dispatchMessages) orv::platform::DispatchOneWindowMessage();
    orv::platform::SleepMilliseconds(1);
  }
}

}  // namespace

void WinThreadManager::terminateAll(bool force) {
  // The list is taken over at once, so batches started meanwhile create workers of their own.
  CVNUtils::CvnArray<WorkerRecord*, int> quitting;
  bool listed = true;
  {
    std::lock_guard<std::mutex> guard(lock);
    listed = quitting.SetSize(workers.size());
    quitting.SetSize(0);
    workers.find([&quitting](WorkerRecord*& worker) {
      quitting.Append(worker);
      return false;
    });
    if (listed) workers.clear();
  }
  if (!listed) return;  // nothing was taken over; the workers stay usable
  DebugPrint("[WinThreadManager] Terminating %i threads\n", quitting.size());
  for (WorkerRecord* worker : quitting) {
    if (!worker->thread) continue;  // never started
    // Nodes are reused from the free list, so a quit can only fail on a worker never used.
    worker->queue.post(kMessageQuit);
    DebugPrint("[WinThreadManager] Waiting for KGL thread to finish...\n");
    if (waitForTermination(*worker, !force)) {
      // Joined, so no thread of this manager runs the library's code once this returns.
      orv::platform::JoinThread(worker->thread);
      worker->thread = nullptr;
      continue;
    }
    // A stuck thread cannot be stopped safely: it quits, and frees its record, once its
    // procedure returns. It will still run this module's code then, so the module stays loaded.
    orv::platform::DetachThread(worker->thread);
    worker->thread = nullptr;
    orv::platform::KeepThisModuleLoaded();
    if (const char* name = procedureName(*worker)) {
      DebugPrint(
          "[WinThreadManager] Thread with name \"%s\" did not terminate for the timeout "
          "interval.\n",
          name);
    } else {
      DebugPrint("[WinThreadManager] Thread did not terminate for the timeout interval.\n");
    }
  }
  for (WorkerRecord* worker : quitting) WorkerRecord::release(worker);
  {
    std::lock_guard<std::mutex> guard(lock);
    if (!counterInUse()) counters.clear();
  }
  DebugPrint("[WinThreadManager] All threads terminated\n");
}

}  // namespace KUtils
