// CvnParallel jobs parked on the threads of a minimal thread manager.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "support/threading/CvnParallel.h"
#include "support/threading/ThreadManagerStack.h"
#include "tools/testing/ThreadPerTaskManager.h"

namespace {

using CVNUtils::CvnParallel;
using CVNUtils::Job;

struct RecordingJob : CvnParallel {
  using CvnParallel::CvnParallel;
  std::vector<long long> owner;
  std::vector<std::thread::id> thread;
  void processJob(Job& job) override {
    for (long long i = job.start; i < job.end; ++i) {
      owner[i] = job.index * 1000 + job.mode;
      thread[i] = std::this_thread::get_id();
    }
  }
};

TEST(CvnParallelOnWorkers, SplitsRangesAndRunsOffTheCallingThread) {
  ThreadPerTaskManager manager;
  {
    RecordingJob job(&manager);
    job.setupThreads(3);
    ASSERT_EQ(job.jobCount, 3);
    EXPECT_EQ(manager.threads.size(), 3u);
    job.owner.assign(10, -1);
    job.thread.assign(10, std::thread::id());
    job.splitRange(10);
    for (int run = 0; run < 3; ++run) job.runJobs(run);
    const std::vector<long long> expected = {2, 2, 2, 1002, 1002, 1002, 2002, 2002, 2002, 2002};
    EXPECT_EQ(job.owner, expected);
    for (const auto& id : job.thread) EXPECT_NE(id, std::this_thread::get_id());
    // Same count: the parked jobs stay.
    job.setupThreads(3);
    EXPECT_EQ(manager.threads.size(), 3u);
  }
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

}  // namespace
