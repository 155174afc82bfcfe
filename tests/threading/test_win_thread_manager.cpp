// KUtils::WinThreadManager on real threads: batches, asynchronous work, thread indexes, aborts,
// progress, termination and the default managers handed to hosts.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "orv/OrvLoader.h"
#include "support/platform/Threads.h"
#include "support/threading/DefaultThreadCount.h"
#include "support/threading/DefaultThreadManager.h"
#include "support/threading/WinThreadManager.h"
#include "tests/threading/PoolTestSupport.h"
#include "tools/testing/ThreadPerTaskManager.h"

namespace {

using KUtils::WinThreadManager;

// Records, per call, the index and count it was given, what getCurrentThreadIndex answers on
// that thread, and the thread itself.
struct RecordingBatch : KUtils::BatchProcedure {
  explicit RecordingBatch(WinThreadManager& manager) : manager(manager) {}
  const char* name() override { return "RecordingBatch"; }
  void run(int*, int*, int threadIndex, int threadCount) override {
    std::lock_guard<std::mutex> guard(lock);
    indexes.push_back(threadIndex);
    counts.push_back(threadCount);
    reported.push_back(manager.getCurrentThreadIndex());
    threads.insert(std::this_thread::get_id());
  }
  WinThreadManager& manager;
  std::mutex lock;
  std::vector<int> indexes, counts, reported;
  std::set<std::thread::id> threads;
};

TEST(WinThreadManagerBatch, OneTwoAndManyThreadsEachRunOnceWithTheirIndex) {
  WinThreadManager manager;
  for (int count : {1, 2, 16}) {
    RecordingBatch batch(manager);
    ASSERT_EQ(manager.run(count, &batch, nullptr, false), 0) << count;
    std::vector<int> sorted = batch.indexes;
    std::sort(sorted.begin(), sorted.end());
    std::vector<int> expected(count);
    for (int k = 0; k < count; ++k) expected[k] = k;
    EXPECT_EQ(sorted, expected) << count;
    EXPECT_EQ(batch.counts, std::vector<int>(count, count));
    EXPECT_EQ(batch.reported, batch.indexes) << "getCurrentThreadIndex inside the batch";
    EXPECT_EQ(batch.threads.size(), static_cast<size_t>(count));
    EXPECT_EQ(batch.threads.count(std::this_thread::get_id()), 0u);
  }
  EXPECT_EQ(manager.getCurrentThreadIndex(), -1) << "the host thread is no worker";
}

TEST(WinThreadManagerBatch, ZeroMeansTheDefaultCount) {
  WinThreadManager manager;
  RecordingBatch batch(manager);
  ASSERT_EQ(manager.run(0, &batch, nullptr, false), 0);
  EXPECT_EQ(static_cast<int>(batch.indexes.size()), CVNUtils::DefaultThreadCount());
}

TEST(WinThreadManagerBatch, WorkersPersistAcrossBatches) {
  WinThreadManager manager;
  for (int round = 0; round < 200; ++round) {
    RecordingBatch batch(manager);
    ASSERT_EQ(manager.run(3, &batch, nullptr, false), 0);
  }
  // Every worker is idle again by the time its batch returns, so no batch needs a fourth.
  EXPECT_EQ(manager.workerCount(), 3);
}

TEST(WinThreadManagerBatch, BadArgumentsAndThrowingProceduresFailTheBatch) {
  WinThreadManager manager;
  RecordingBatch batch(manager);
  EXPECT_EQ(manager.run(-1, &batch, nullptr, false), -1);
  EXPECT_EQ(manager.run(WinThreadManager::kMaxBatchThreads + 1, &batch, nullptr, false), -1);
  EXPECT_EQ(manager.run(2, nullptr, nullptr, false), -1);
  EXPECT_TRUE(batch.indexes.empty());

  struct Throwing : KUtils::BatchProcedure {
    void run(int*, int*, int threadIndex, int) override {
      if (threadIndex == 1) throw std::runtime_error("failed");
    }
  } throwing;
  EXPECT_EQ(manager.run(2, &throwing, nullptr, false), -1);
  // The manager and its workers are still usable; the abort value is cleared by the next batch.
  EXPECT_EQ(manager.run(2, &throwing, nullptr, false), -1);
  RecordingBatch after(manager);
  EXPECT_EQ(manager.run(2, &after, nullptr, false), 0);
  EXPECT_EQ(after.indexes.size(), 2u);
}

// Every thread waits until the batch is aborted, reporting progress as it goes.
struct WaitForAbort : KUtils::BatchProcedure {
  void run(int* abortFlag, int* progressCounter, int, int) override {
    __atomic_fetch_add(progressCounter, 5, __ATOMIC_RELAXED);
    __atomic_fetch_add(&progressCount, 1, __ATOMIC_RELAXED);
    WaitUntil([abortFlag] { return __atomic_load_n(abortFlag, __ATOMIC_ACQUIRE) != 0; });
    seen.fetch_add(1);
  }
  std::atomic<int> seen{0};
};

TEST(WinThreadManagerProgress, CheckAbortValueReachesWorkersAndIsTheResult) {
  WinThreadManager manager;
  RecordingProgress progress(true);
  WaitForAbort batch;
  batch.abortValue = 3;  // left from an earlier batch: cleared when the batch starts
  std::thread abortLater([&] {
    // Abort once every thread has reported its progress.
    WaitUntil([&] { return progress.lastProgress.load() == 3 * 5 + 3; });
    progress.abortWith.store(7);
  });
  EXPECT_EQ(manager.run(3, &batch, &progress, true), 7);
  abortLater.join();
  EXPECT_EQ(batch.seen.load(), 3);
  EXPECT_EQ(progress.begins.load(), 1);
  EXPECT_EQ(progress.ends.load(), 1);
  EXPECT_GT(progress.pumps.load(), 0);
  EXPECT_GT(progress.abortChecks.load(), 0);
  EXPECT_EQ(progress.logLines(), (std::vector<std::string>{"0/30000:Setting up 3 thread(s)\n",
                                                           "0/30000:Threads completed\n"}));
}

TEST(WinThreadManagerProgress, WorkersThatBeginAfterAnAbortSkipTheProcedure) {
  WinThreadManager manager;
  // The host aborts while the batch is being set up, before any worker has begun.
  struct AbortOnBegin : RecordingProgress {
    KUtils::BatchProcedure* procedure = nullptr;
    void beginTask() override {
      RecordingProgress::beginTask();
      __atomic_store_n(&procedure->abortValue, 9, __ATOMIC_RELEASE);
    }
  } progress;
  RecordingBatch batch(manager);
  progress.procedure = &batch;
  EXPECT_EQ(manager.run(4, &batch, &progress, false), 9);
  EXPECT_TRUE(batch.indexes.empty());
  // The next batch starts with a cleared abort value and runs.
  RecordingBatch next(manager);
  EXPECT_EQ(manager.run(4, &next, nullptr, false), 0);
  EXPECT_EQ(next.indexes.size(), 4u);
}

// Asynchronous procedure that records its index and data, then signals.
struct IndexProbe : KUtils::ThreadProcedure {
  explicit IndexProbe(KUtils::ThreadManager& asked) : asked(asked) {}
  void run(void* data) override {
    index.store(asked.getCurrentThreadIndex());
    received.store(data);
    finished.set();
  }
  const char* name() override { return "IndexProbe"; }
  KUtils::ThreadManager& asked;
  std::atomic<int> index{-100};
  std::atomic<void*> received{nullptr};
  orv::platform::Event finished{true};
};

TEST(WinThreadManagerAsync, RunsOffTheCallerWithTheGivenIndex) {
  WinThreadManager manager;
  int payload = 0;
  IndexProbe probe(manager);
  ASSERT_EQ(manager.runAsync(&probe, &payload, 42), 0);
  ASSERT_TRUE(probe.finished.waitFor(10000));
  EXPECT_EQ(probe.index.load(), 42);
  EXPECT_EQ(probe.received.load(), &payload);

  IndexProbe byDefault(manager);
  ASSERT_EQ(manager.runAsyncDefault(&byDefault, nullptr), 0);
  ASSERT_TRUE(byDefault.finished.waitFor(10000));
  EXPECT_EQ(byDefault.index.load(), 0);

  // A worker of one manager is not a worker of another.
  WinThreadManager other;
  IndexProbe foreign(other);
  ASSERT_EQ(manager.runAsync(&foreign, nullptr, 5), 0);
  ASSERT_TRUE(foreign.finished.waitFor(10000));
  EXPECT_EQ(foreign.index.load(), -1);
  EXPECT_EQ(manager.runAsync(nullptr, nullptr, 0), -1);
}

TEST(WinThreadManagerSettings, LowPriorityAndStackSizeApplyToLaterWorkers) {
  WinThreadManager manager;
  manager.setStackSize(256 * 1024);
  struct Level : KUtils::BatchProcedure {
    void run(int*, int*, int threadIndex, int) override {
      levels[threadIndex] = orv::platform::CurrentThreadPriorityLevel();
    }
    int levels[2] = {0, 0};
  } low, normal;
  ASSERT_EQ(manager.run(2, &normal, nullptr, false), 0);
  // The same workers lower themselves for the next batch.
  manager.setLowPriority(1);
  ASSERT_EQ(manager.run(2, &low, nullptr, false), 0);
  EXPECT_EQ(manager.workerCount(), 2);
  const int host = orv::platform::CurrentThreadPriorityLevel();
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(low.levels[k], host < 19 ? host + 1 : 19);
    EXPECT_EQ(normal.levels[k], host);
  }
  manager.setStackSize(-5);  // the platform default again
  RecordingBatch batch(manager);
  EXPECT_EQ(manager.run(3, &batch, nullptr, false), 0);
}

// Stays in run until released.
struct StuckProcedure : KUtils::ThreadProcedure {
  void run(void*) override {
    entered.set();
    release.wait();
  }
  const char* name() override { return "StuckProcedure"; }
  orv::platform::Event entered{true};
  orv::platform::Event release{true};
};

const char kThreadIsTerminating[] = "[WinThreadManager] Thread is terminating\n";

TEST(WinThreadManagerTermination, StuckWorkerIsReportedAfterTheTimeout) {
  DebugCapture debug;
  const int recordsBefore = KUtils::WorkerRecord::liveCount();
  StuckProcedure stuck;
  {
    WinThreadManager manager;
    ASSERT_EQ(manager.runAsync(&stuck, nullptr, 3), 0);
    RecordingBatch idle(manager);
    ASSERT_EQ(manager.run(1, &idle, nullptr, false), 0);
    ASSERT_TRUE(stuck.entered.waitFor(10000));
    const auto begin = std::chrono::steady_clock::now();
    manager.terminateAll(true);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    EXPECT_GE(seconds, 1.9);
    EXPECT_LT(seconds, 30.0);
    EXPECT_EQ(debug.count("[WinThreadManager] Thread with name \"StuckProcedure\" did not "
                          "terminate for the timeout interval.\n"),
              1);
    EXPECT_EQ(debug.count("[WinThreadManager] Terminating 2 threads\n"), 1);
    EXPECT_EQ(debug.count("[WinThreadManager] Terminating thread 0\n"), 1);
    EXPECT_EQ(manager.workerCount(), 0);
    // The manager makes new workers after terminateAll.
    RecordingBatch again(manager);
    EXPECT_EQ(manager.run(2, &again, nullptr, false), 0);
    EXPECT_EQ(again.indexes.size(), 2u);
  }
  // Released, the stuck worker quits on its own and frees its record.
  stuck.release.set();
  EXPECT_TRUE(WaitUntil([&] { return KUtils::WorkerRecord::liveCount() == recordsBefore; }));
  EXPECT_EQ(debug.count("[WinThreadManager] Terminating thread 3\n"), 1);
  EXPECT_TRUE(WaitUntil([&] { return debug.count(kThreadIsTerminating) >= 4; }));
}

TEST(WinThreadManagerTermination, DestroyingIdleWorkersFreesEveryRecord) {
  DebugCapture debug;
  const int before = KUtils::WorkerRecord::liveCount();
  {
    WinThreadManager manager;
    RecordingBatch batch(manager);
    ASSERT_EQ(manager.run(5, &batch, nullptr, false), 0);
    IndexProbe probe(manager);
    ASSERT_EQ(manager.runAsync(&probe, nullptr, 1), 0);
    ASSERT_TRUE(probe.finished.waitFor(10000));
    EXPECT_GE(KUtils::WorkerRecord::liveCount(), before + 5);
  }
  EXPECT_TRUE(WaitUntil([&] { return KUtils::WorkerRecord::liveCount() == before; }));
  const std::vector<std::string> lines = debug.lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "[WinThreadManager] Constructor.\n");
  EXPECT_EQ(debug.count("[WinThreadManager] Destructor.\n"), 1);
  // The asynchronous probe reused an idle batch worker.
  EXPECT_EQ(debug.count("[WinThreadManager] Terminating 5 threads\n"), 1);
  EXPECT_EQ(debug.count("[WinThreadManager] Waiting for KGL thread to finish...\n"), 5);
  EXPECT_EQ(debug.count("[WinThreadManager] All threads terminated\n"), 1);
  EXPECT_TRUE(WaitUntil([&] { return debug.count(kThreadIsTerminating) >= 5; }));
}

TEST(WorkerRecords, AlignedTo128Bytes) {
  orv::platform::ThreadLocalSlot slot;
  std::vector<KUtils::WorkerRecord*> records;
  for (int i = 0; i < 20; ++i) records.push_back(KUtils::WorkerRecord::create(&slot));
  for (KUtils::WorkerRecord* record : records) {
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(record) % 128, 0u);
    KUtils::WorkerRecord::release(record);
  }
}

TEST(DefaultThreadManagers, CreateUseAndDestroyOnlyOwnManagers) {
  const int before = KUtils::LiveDefaultThreadManagers();
  KUtils::ThreadManager* manager = createDefaultThreadManager();
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(KUtils::LiveDefaultThreadManagers(), before + 1);
  IndexProbe probe(*manager);
  ASSERT_EQ(manager->runAsync(&probe, nullptr, 8), 0);
  ASSERT_TRUE(probe.finished.waitFor(10000));
  EXPECT_EQ(probe.index.load(), 8);
  EXPECT_EQ(manager->reserved(), 0);

  ThreadPerTaskManager foreign;
  destroyDefaultThreadManager(&foreign);  // not made here: ignored
  destroyDefaultThreadManager(nullptr);
  EXPECT_EQ(KUtils::LiveDefaultThreadManagers(), before + 1);
  destroyDefaultThreadManager(manager);
  EXPECT_EQ(KUtils::LiveDefaultThreadManagers(), before);
  destroyDefaultThreadManager(manager);  // already destroyed: ignored
}

}  // namespace
