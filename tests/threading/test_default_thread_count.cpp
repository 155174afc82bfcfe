// The default thread count from ZORB_NUM_THREADS, ZORB_USE_THREAD_AFFINITY and the topology.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/platform/Platform.h"
#include "support/platform/Threads.h"
#include "support/threading/DefaultThreadCount.h"

namespace {

using CVNUtils::ThreadCountFrom;
using CVNUtils::ThreadCountSources;

int numaFive() { return 5; }
int numaUnknown() { return 0; }
int systemThree() { return 3; }

ThreadCountSources sources(const char* numThreads, const char* affinity, int (*numa)() = numaFive) {
  ThreadCountSources s;
  s.numThreads = numThreads;
  s.useThreadAffinity = affinity;
  s.numaProcessors = numa;
  s.systemProcessors = systemThree;
  return s;
}

TEST(DefaultThreadCount, NumThreadsWinsWhenPositive) {
  EXPECT_EQ(ThreadCountFrom(sources("6", nullptr)), 6);
  EXPECT_EQ(ThreadCountFrom(sources("6", "0")), 6);
  // Zero, negative and non-numbers fall through to the processor counts.
  EXPECT_EQ(ThreadCountFrom(sources("0", nullptr)), 5);
  EXPECT_EQ(ThreadCountFrom(sources("-4", nullptr)), 5);
  EXPECT_EQ(ThreadCountFrom(sources("many", "0")), 3);
  EXPECT_EQ(ThreadCountFrom(sources("", nullptr)), 5);
}

TEST(DefaultThreadCount, AffinitySettingChoosesTheProcessorCount) {
  EXPECT_EQ(ThreadCountFrom(sources(nullptr, nullptr)), 5) << "unset: all NUMA nodes";
  EXPECT_EQ(ThreadCountFrom(sources(nullptr, "1")), 5);
  EXPECT_EQ(ThreadCountFrom(sources(nullptr, "0")), 3) << "0: processor count only";
  EXPECT_EQ(ThreadCountFrom(sources(nullptr, "x")), 3) << "a non-number reads as 0";
  EXPECT_EQ(ThreadCountFrom(sources(nullptr, nullptr, numaUnknown)), 3) << "no NUMA topology";
  EXPECT_TRUE(CVNUtils::ThreadAffinityEnabled(nullptr));
  EXPECT_FALSE(CVNUtils::ThreadAffinityEnabled("0"));
  EXPECT_TRUE(CVNUtils::ThreadAffinityEnabled("2"));
}

TEST(DefaultThreadCount, NodesNeverCountMoreThanTheUsableProcessors) {
  const int numa = CVNUtils::NumaProcessorCount();
  EXPECT_GE(numa, 0);
  EXPECT_LE(numa, orv::platform::UsableProcessorCount());
}

// Reads the real environment afresh; the cached value is not affected.
TEST(DefaultThreadCount, EnvironmentIsReadAtEachComputation) {
  const int cached = CVNUtils::DefaultThreadCount();
  const char* saved = std::getenv("ZORB_NUM_THREADS");
  const std::string previous = saved ? saved : "";
  orv::platform::SetEnvironmentValue("ZORB_NUM_THREADS", "6");
  EXPECT_EQ(CVNUtils::ComputeDefaultThreadCount(), 6);
  orv::platform::SetEnvironmentValue("ZORB_NUM_THREADS", "0");
  const int fallback = CVNUtils::ComputeDefaultThreadCount();
  EXPECT_GE(fallback, 1);
  EXPECT_LE(fallback, orv::platform::UsableProcessorCount());
  if (saved) {
    orv::platform::SetEnvironmentValue("ZORB_NUM_THREADS", previous.c_str());
  } else {
    orv::platform::SetEnvironmentValue("ZORB_NUM_THREADS", nullptr);
  }
  EXPECT_EQ(CVNUtils::DefaultThreadCount(), cached);
}

}  // namespace
