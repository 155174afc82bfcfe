#include <gtest/gtest.h>

#include <vector>

#include "support/threading/CvnParallel.h"
#include "support/threading/NumaPlacement.h"
#include "support/threading/ThreadManagerStack.h"

namespace {

using CVNUtils::CvnParallel;
using CVNUtils::Job;

struct SquareJob : CvnParallel {
  std::vector<int> values;
  void processJob(Job& job) override {
    for (long long i = job.start; i < job.end; ++i) values[i] = static_cast<int>(i * i) + job.mode;
  }
  const char* name() override { return "SquareJob"; }
};

struct Target {
  int calls = 0;
  void work(Job&) { ++calls; }
};

TEST(CvnParallelCallingThread, OneJobCoversTheRange) {
  SquareJob job;
  job.values.assign(100, -1);
  job.setupThreads(4, nullptr, nullptr);
  EXPECT_EQ(job.jobCount, 1);
  job.splitRange(100);
  job.runJobs(7);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(job.values[i], i * i + 7);
}

TEST(CvnParallelCallingThread, RepeatedSetupKeepsJobs) {
  CvnParallel parallel;
  parallel.setupThreads(-1);
  Job* first = parallel.firstJob();
  parallel.setupThreads(-1);
  EXPECT_EQ(parallel.firstJob(), first);
}

TEST(CvnParallelCallingThread, HolderForwardsToMemberAndRunJobsDropsIt) {
  CvnParallel parallel;
  Target target;
  parallel.setupThreads(-1);
  parallel.installHolder(new CVNUtils::TMTJobProcHolder<Target>(&target, &Target::work));
  parallel.runHolderJobs();
  parallel.runHolderJobs();
  EXPECT_EQ(target.calls, 2);
  parallel.runJobs(0);
  EXPECT_EQ(parallel.holder, nullptr);
  parallel.runHolderJobs();
  EXPECT_EQ(target.calls, 2);
}

TEST(JobNames, OwnerlessJobAndOwnerName) {
  Job loose;
  EXPECT_STREQ(loose.name(), "MTJobWithoutOwner");
  SquareJob job;
  job.setupThreads(-1);
  EXPECT_STREQ(job.firstJob()->name(), "SquareJob");
}

TEST(ThreadManagerStack, PushPopTop) {
  auto* a = reinterpret_cast<KUtils::ThreadManager*>(0x1000);
  auto* b = reinterpret_cast<KUtils::ThreadManager*>(0x2000);
  EXPECT_EQ(CVNUtils::CurrentThreadManager(), nullptr);
  EXPECT_FALSE(CVNUtils::PushThreadManager(nullptr));
  EXPECT_TRUE(CVNUtils::PushThreadManager(a));
  EXPECT_TRUE(CVNUtils::PushThreadManager(b));
  EXPECT_EQ(CVNUtils::CurrentThreadManager(), b);
  EXPECT_EQ(CVNUtils::PopThreadManager(), b);
  EXPECT_EQ(CVNUtils::CurrentThreadManager(), a);
  EXPECT_EQ(CVNUtils::PopThreadManager(), a);
  EXPECT_EQ(CVNUtils::ThreadManagerStackDepth(), 0);
  EXPECT_EQ(CVNUtils::PopThreadManager(), nullptr);
}

TEST(CpuList, ParsesRangesAndRejectsGarbage) {
  std::vector<int> cpus;
  ASSERT_TRUE(CVNUtils::ParseCpuList("0-2,5,7-8\n", cpus));
  EXPECT_EQ(cpus, (std::vector<int>{0, 1, 2, 5, 7, 8}));
  EXPECT_FALSE(CVNUtils::ParseCpuList("3-1", cpus));
  EXPECT_FALSE(CVNUtils::ParseCpuList("1,x", cpus));
  EXPECT_FALSE(CVNUtils::ParseCpuList("0-9999999", cpus, 64));
}

TEST(NumaPlacement, FillsNodesInOrderAndWraps) {
  CVNUtils::NumaPlacementTable table;
  ASSERT_TRUE(table.add(0, 0x3));  // 2 processors
  ASSERT_TRUE(table.add(0, 0x4));  // 1 processor
  CVNUtils::NumaPlacementCursor cursor;
  std::vector<unsigned long long> masks;
  for (int k = 0; k < 4; ++k) masks.push_back(cursor.next(table)->mask);
  EXPECT_EQ(masks, (std::vector<unsigned long long>{0x3, 0x3, 0x4, 0x3}));
  const unsigned char onlySecond[] = {0, 1};
  CVNUtils::NumaPlacementCursor selected;
  EXPECT_EQ(selected.next(table, onlySecond)->mask, 0x4u);
  EXPECT_EQ(selected.next(table, onlySecond)->mask, 0x4u);
}

}  // namespace
