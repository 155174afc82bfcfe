// The body of a WinThreadManager worker: it waits on its message queue and runs one task per
// message until it is told to quit.
#include "support/Log.h"
#include "support/platform/Threads.h"
#include "support/threading/WorkerRecord.h"

namespace KUtils {
namespace {

// Priority and affinity as the claiming thread asked; priority is changed only when it differs.
struct Scheduling {
  int normalLevel = orv::platform::CurrentThreadPriorityLevel();
  bool low = false;

  void apply(WorkerRecord& record) {
    if (record.lowPriority != low) {
      const int level = record.lowPriority ? (normalLevel < 19 ? normalLevel + 1 : 19) : normalLevel;
      if (orv::platform::SetCurrentThreadPriorityLevel(level)) low = record.lowPriority;
    }
    if (record.affinity == WorkerAffinity::kNode) {
      orv::platform::SetCurrentThreadAffinity(record.affinityGroup, record.affinityMask);
    } else if (record.affinity == WorkerAffinity::kProcess) {
      orv::platform::SetCurrentThreadAffinityToProcess();
    }
  }
};

void runBatch(WorkerRecord& record, Scheduling& scheduling) {
  record.state.store(kWorkerBusy);
  scheduling.apply(record);
  BatchProcedure* procedure = record.batch;
  int* abortFlag = record.abortFlag;
  CompletionCounter* counter = record.counter;
  // A batch already aborted (or failed) is skipped by workers that have not begun.
  if (__atomic_load_n(abortFlag, __ATOMIC_ACQUIRE) == 0) {
    orv::platform::SetCurrentThreadName(procedure->name());
    try {
      procedure->run(abortFlag, &record.progress, record.threadIndex, record.threadCount);
    } catch (...) {
      // A throwing procedure fails its batch instead of ending the process.
      FailBatch(abortFlag);
    }
  }
  // Idle before the batch counts as finished, so the next batch of the caller finds this worker.
  record.state.store(kWorkerIdle);
  counter->countDown();
}

void runAsync(WorkerRecord& record, Scheduling& scheduling) {
  record.state.store(kWorkerBusy);
  scheduling.apply(record);
  ThreadProcedure* procedure = record.asyncProcedure;
  orv::platform::SetCurrentThreadName(procedure->name());
  try {
    procedure->run(record.asyncData);
  } catch (...) {
    // Nobody waits for an asynchronous procedure: its failure stays with it.
  }
  // A procedure may free itself as it returns: the record keeps no pointer to it.
  __atomic_store_n(&record.asyncProcedure, nullptr, __ATOMIC_RELEASE);
  record.state.store(kWorkerIdle);
}

}  // namespace

void RunWorkerThread(void* raw) {
  WorkerRecord& record = *static_cast<WorkerRecord*>(raw);
  record.currentWorkerSlot->set(&record);
  record.state.store(kWorkerClaimed);
  Scheduling scheduling;
  for (;;) {
    const int message = record.queue.take();
    if (message == kMessageBatch) {
      runBatch(record, scheduling);
    } else if (message == kMessageAsync) {
      runAsync(record, scheduling);
    } else if (message == kMessageQuit) {
      break;
    }
  }
  DebugPrint("[WinThreadManager] Terminating thread %i\n", record.threadIndex);
  record.state.store(kWorkerTerminated);
  WorkerRecord::release(&record);
  DebugPrint("[WinThreadManager] Thread is terminating\n");
}

}  // namespace KUtils
