// The record of one pool worker thread of KUtils::WinThreadManager, and the completion counter a
// batch shares among its workers.
//
// A record is written by the thread that claims the worker (while its state is "claimed") and then
// read by the worker after it takes the posted message; the queue's lock orders the two. The worker
// copies what it still needs before it marks itself idle again.
#pragma once

#include <atomic>

#include "orv/ThreadManager.h"
#include "support/platform/Threads.h"
#include "support/threading/WorkerQueue.h"

namespace KUtils {

enum WorkerState {
  kWorkerIdle = 0,
  kWorkerBusy = 1,
  kWorkerTerminated = 2,
  kWorkerClaimed = 3,  // started, or claimed for a task
  kWorkerCreating = 4,
};

// Workers of a batch that have not finished; `finished` (manual reset) is signalled by the worker
// whose decrement brings the count to 0.
struct CompletionCounter {
  std::atomic<int> remaining{0};
  orv::platform::Event finished{true};
  std::atomic<bool> inUse{false};

  // One worker of the batch is done, whether it ran or not.
  void countDown() {
    if (remaining.fetch_sub(1, std::memory_order_acq_rel) == 1) finished.set();
  }
};

// Fails a batch with -1 unless it already carries an abort or failure code.
inline void FailBatch(int* abortFlag) {
  int expected = 0;
  __atomic_compare_exchange_n(abortFlag, &expected, -1, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE);
}

// Where a worker places itself before its next task.
enum class WorkerAffinity { kUnchanged, kNode, kProcess };

struct alignas(128) WorkerRecord {
  // Batch task.
  BatchProcedure* batch = nullptr;
  int* abortFlag = nullptr;
  int progress = 0;  // the worker's own progress count, accessed atomically
  int threadIndex = -1;
  CompletionCounter* counter = nullptr;
  int threadCount = 0;
  // Asynchronous task.
  ThreadProcedure* asyncProcedure = nullptr;
  void* asyncData = nullptr;

  std::atomic<int> state{kWorkerCreating};
  // The worker's thread, joined once it has terminated; null when it could not be started.
  orv::platform::ThreadHandle thread = nullptr;
  // 2 while both the worker thread and the manager hold the record.
  std::atomic<int> references{1};
  WorkerQueue queue;

  // Scheduling the worker applies to itself when it takes its next task.
  bool lowPriority = false;
  WorkerAffinity affinity = WorkerAffinity::kUnchanged;
  unsigned short affinityGroup = 0;
  unsigned long long affinityMask = 0;

  // The owning manager's slot through which a worker finds its record.
  orv::platform::ThreadLocalSlot* currentWorkerSlot = nullptr;

  // A record on a 128-byte boundary; null when memory is exhausted.
  static WorkerRecord* create(orv::platform::ThreadLocalSlot* slot);
  // Drops one reference; the last holder frees the record.
  static void release(WorkerRecord* record);
  // Records allocated and not yet freed, in the whole process.
  static int liveCount();
};

// The body of a worker thread; `record` is its WorkerRecord.
void RunWorkerThread(void* record);

}  // namespace KUtils
