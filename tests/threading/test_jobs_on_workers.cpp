// CvnParallel runs on thread managers of every kind: each share is processed once, by the calling
// thread or a helper, and no run waits for workers that do not come.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "support/platform/Threads.h"
#include "support/threading/CvnParallel.h"
#include "support/threading/NumaPlacement.h"
#include "support/threading/ThreadManagerStack.h"
#include "support/threading/WinThreadManager.h"
#include "tools/testing/FixedThreadPool.h"
#include "tools/testing/ThreadPerTaskManager.h"

namespace {

using CVNUtils::CvnParallel;
using CVNUtils::Job;

// Marks every item of a job's range with the job and the run's mode, and counts shares per thread.
struct RecordingJob : CvnParallel {
  using CvnParallel::CvnParallel;
  std::vector<long long> owner;
  std::atomic<int> shares{0};
  std::mutex lock;
  std::set<std::thread::id> threads;
  // When set, a share on `caller` waits (at most 10 s) until another thread processed a share.
  std::thread::id caller;
  bool awaitHelper = false;
  std::atomic<int> helperShares{0};

  void processJob(Job& job) override {
    const bool onCaller = std::this_thread::get_id() == caller;
    if (awaitHelper && onCaller) {
      const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (helperShares.load() == 0 && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    }
    for (long long i = job.start; i < job.end; ++i) owner[i] = job.index * 1000 + job.mode;
    shares.fetch_add(1);
    if (!onCaller) helperShares.fetch_add(1);
    std::lock_guard<std::mutex> guard(lock);
    threads.insert(std::this_thread::get_id());
  }
};

// Refuses every task, as a pool that is shutting down would.
struct RefusingManager final : ThreadPerTaskManager {
  int runAsync(KUtils::ThreadProcedure*, void*, int) override { return -1; }
};

struct ManagerCase {
  const char* name;
  std::function<KUtils::ThreadManager*()> make;
  std::function<void(KUtils::ThreadManager*)> destroy;
};

template <typename Manager, typename... Args>
ManagerCase managerCase(const char* name, Args... args) {
  return {name, [=] { return static_cast<KUtils::ThreadManager*>(new Manager(args...)); },
          [](KUtils::ThreadManager* m) { delete static_cast<Manager*>(m); }};
}

std::vector<ManagerCase> everyKindOfManager() {
  return {managerCase<ThreadPerTaskManager>("thread per task"),
          managerCase<FixedThreadPool>("fixed pool of 1", 1),
          managerCase<FixedThreadPool>("fixed pool of 2", 2),
          managerCase<FixedThreadPool>("pool that runs nothing while the jobs live", 0),
          managerCase<RefusingManager>("manager refusing every task"),
          managerCase<KUtils::WinThreadManager>("library pool")};
}

TEST(CvnParallelOnWorkers, EveryShareOnceWhateverTheManager) {
  for (const ManagerCase& kind : everyKindOfManager()) {
    SCOPED_TRACE(kind.name);
    KUtils::ThreadManager* manager = kind.make();
    {
      RecordingJob job(manager);
      job.setupThreads(3);
      ASSERT_EQ(job.jobCount, 3);
      job.owner.assign(10, -1);
      job.splitRange(10);
      for (int run = 0; run < 3; ++run) job.runJobs(run);
      const std::vector<long long> expected = {2, 2, 2, 1002, 1002, 1002, 2002, 2002, 2002, 2002};
      EXPECT_EQ(job.owner, expected);
      EXPECT_EQ(job.shares.load(), 9);
    }
    // Helpers still queued now find the run over and return without touching the job.
    kind.destroy(manager);
  }
}

TEST(CvnParallelOnWorkers, HelpersTakeSharesWhenTheyCome) {
  for (const ManagerCase& kind : {managerCase<FixedThreadPool>("fixed pool of 1", 1),
                                  managerCase<KUtils::WinThreadManager>("library pool")}) {
    SCOPED_TRACE(kind.name);
    KUtils::ThreadManager* manager = kind.make();
    {
      RecordingJob job(manager);
      job.setupThreads(4);
      job.owner.assign(100, -1);
      job.splitRange(100);
      job.caller = std::this_thread::get_id();
      job.awaitHelper = true;
      job.runJobs(0);
      EXPECT_GE(job.helperShares.load(), 1);
      EXPECT_EQ(job.shares.load(), 4);
    }
    kind.destroy(manager);
  }
}

// Sums [0, n) with `jobs` jobs on the current manager.
struct RangeSum : CvnParallel {
  std::vector<long long> partial;
  void processJob(Job& job) override {
    long long sum = 0;
    for (long long i = job.start; i < job.end; ++i) sum += i;
    partial[job.index] = sum;
  }
  long long of(long long n, int jobs) {
    setupThreads(jobs);
    partial.assign(jobCount, 0);
    splitRange(n);
    runJobs(0);
    long long total = 0;
    for (long long p : partial) total += p;
    return total;
  }
};

// Each share of the outer run starts inner runs: on a pool of one worker the inner runs find no
// free worker, and still finish.
struct NestedSums : CvnParallel {
  std::vector<long long> results;
  void processJob(Job& job) override {
    RangeSum inner;
    results[job.index] = inner.of(1000 + job.index, 3);
  }
};

TEST(CvnParallelOnWorkers, NestedRunsFromSeveralThreadsOnOneWorker) {
  FixedThreadPool pool(1);
  ASSERT_TRUE(CVNUtils::PushThreadManager(&pool));
  std::vector<std::thread> hosts;
  std::vector<int> wrong(4, -1);
  for (int h = 0; h < 4; ++h) {
    hosts.emplace_back([&wrong, h] {
      int mistakes = 0;
      for (int round = 0; round < 20; ++round) {
        NestedSums outer;
        outer.setupThreads(4);
        outer.results.assign(4, -1);
        outer.runJobs(0);
        for (int j = 0; j < 4; ++j) {
          const long long n = 1000 + j;
          if (outer.results[j] != n * (n - 1) / 2) ++mistakes;
        }
      }
      wrong[h] = mistakes;
    });
  }
  for (std::thread& host : hosts) host.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
  CVNUtils::PopThreadManager();
}

TEST(CvnParallelOnWorkers, RetiredManagerIsNeverAskedAgain) {
  FixedThreadPool pool(2);
  ASSERT_TRUE(CVNUtils::PushThreadManager(&pool));
  RangeSum sum;
  EXPECT_EQ(sum.of(100, 4), 4950);
  EXPECT_EQ(sum.threadManager(), &pool);
  const int handedOver = pool.acceptedTasks();
  EXPECT_GT(handedOver, 0);
  CVNUtils::RetireThreadManager(&pool);
  EXPECT_EQ(CVNUtils::CurrentThreadManager(), nullptr);
  EXPECT_EQ(CVNUtils::ThreadManagerStackDepth(), 1);
  EXPECT_EQ(sum.of(200, 4), 19900);
  EXPECT_EQ(pool.acceptedTasks(), handedOver);
  EXPECT_EQ(CVNUtils::PopThreadManager(), nullptr);
  EXPECT_EQ(CVNUtils::ThreadManagerStackDepth(), 0);
}

TEST(CvnParallelOnWorkers, SplitOfTwoOverFourAndManagerFromStack) {
  ThreadPerTaskManager manager;
  ASSERT_TRUE(CVNUtils::PushThreadManager(&manager));
  {
    RecordingJob job;
    job.setupThreads(4);
    EXPECT_EQ(job.threadManager(), &manager);
    job.splitRange(2);
    std::vector<std::pair<long long, long long>> got;
    for (Job* j = job.firstJob(); j; j = j->next) got.push_back({j->start, j->end});
    EXPECT_EQ(got, (std::vector<std::pair<long long, long long>>{{0, 0}, {0, 1}, {1, 1}, {1, 2}}));
  }
  CVNUtils::PopThreadManager();
}

// Records the processor each share ran on.
struct WhereJob : CvnParallel {
  using CvnParallel::CvnParallel;
  std::vector<int> processor;
  void processJob(Job& job) override { processor[job.index] = orv::platform::CurrentProcessorNumber(); }
};

TEST(CvnParallelOnWorkers, PlacedSharesRunOnTheirNodeAndTheThreadIsGivenBack) {
  const std::vector<int> usable = orv::platform::CurrentThreadAffinityProcessors();
  if (usable.size() < 2) GTEST_SKIP() << "placement needs two processors";
  // Two one-processor "nodes"; a pool that runs nothing, so the calling thread takes both shares.
  CVNUtils::NumaPlacementTable table;
  for (int n = 0; n < 2; ++n) {
    ASSERT_TRUE(table.add(static_cast<unsigned short>(usable[n] / 64), 1ull << (usable[n] % 64)));
  }
  const unsigned char both[] = {1, 1};
  FixedThreadPool pool(0);
  WhereJob job(&pool);
  job.setupThreads(2, &table, both);
  job.processor.assign(2, -1);
  job.runJobs(0);
  EXPECT_EQ(job.processor, (std::vector<int>{usable[0], usable[1]}));
  EXPECT_EQ(orv::platform::CurrentThreadAffinityProcessors(), usable);
}

}  // namespace
