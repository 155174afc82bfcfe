// The library's own thread pool.
//
// Worker threads are created on demand, kept idle between tasks and fed through a private message
// queue each (batch, quit, asynchronous). `run` spreads a batch over `count` workers, placing them
// over the NUMA nodes when more than one node has processors, and waits, pumping, reporting
// progress and polling for an abort through the caller's ProgressCallback. `runAsync` hands one
// procedure to one worker and returns at once. Several managers may coexist: each worker finds
// its record through its own manager's thread-local slot.
#pragma once

#include <atomic>
#include <mutex>

#include "orv/ThreadManager.h"
#include "support/platform/Threads.h"
#include "support/threading/NumaPlacement.h"
#include "support/threading/SequenceBlock.h"
#include "support/threading/WorkerRecord.h"

namespace KUtils {

class WinThreadManager final : public ThreadManager {
 public:
  // Batches of more threads than this are refused (run returns -1).
  static constexpr int kMaxBatchThreads = 4096;
  // How long terminateAll waits for each worker.
  static constexpr int kTerminateTimeoutMs = 2000;

  WinThreadManager();
  ~WinThreadManager();
  WinThreadManager(const WinThreadManager&) = delete;
  WinThreadManager& operator=(const WinThreadManager&) = delete;

  // Tells every worker to quit and waits up to 2 s for each; a worker still running is reported
  // and left to finish on its own (threads cannot be killed safely). The manager stays usable.
  void terminateAll(bool force) override;
  // Runs `procedure` on `count` threads (0: the default count) and waits. Returns the batch's
  // abort value: 0 when it completed, the non-zero checkAbort() result or procedure-set value
  // otherwise, -1 for a null procedure, a negative or too large count, workers that could not be
  // started, or a procedure that threw.
  int run(int count, BatchProcedure* procedure, ProgressCallback* progress,
          bool reportProgress) override;
  void setLowPriority(int flag) override;
  // 0 when the procedure was handed to a worker; -1 for a null procedure or no worker.
  int runAsync(ThreadProcedure* procedure, void* data, int threadIndex) override;
  int runAsyncDefault(ThreadProcedure* procedure, void* data) override;
  void setStackSize(int bytes) override;
  int getCurrentThreadIndex() override;
  int reserved() override;

  // Worker threads created and not yet terminated.
  int workerCount();

  // True when `manager` is a live WinThreadManager made by this module (the shared library or
  // program this code is linked into), whose threads the module joins before its code goes.
  static bool IsLocalPool(const ThreadManager* manager);

 private:
  WorkerRecord* acquireWorker(ProgressCallback* progress);
  WorkerRecord* startWorker();
  CompletionCounter* takeCounter(int count);
  // A batch still holds a counter (its worker may signal it); called with `lock` held.
  bool counterInUse();
  const CVNUtils::NumaPlacementTable* placementTable();
  void postBatch(WorkerRecord& worker, BatchProcedure& procedure, CompletionCounter& counter,
                 int index, int count, const CVNUtils::NumaNodeEntry* node);
  void waitForBatch(BatchProcedure& procedure, CompletionCounter& counter,
                    ProgressCallback* progress, bool reportProgress,
                    const CVNUtils::CvnArray<WorkerRecord*, int>& batchWorkers);

  std::mutex lock;  // the worker list, the counter pool and the placement table
  _SequenceBlock<WorkerRecord*, 10> workers;
  _SequenceBlock<CompletionCounter, 10> counters;
  orv::platform::ThreadLocalSlot currentWorker;
  const bool affinityEnabled;
  CVNUtils::NumaPlacementTable placement;  // entryCount -1 until first computed
  std::atomic<int> lowPriority{0};
  std::atomic<int> stackSize{0};
};

}  // namespace KUtils
