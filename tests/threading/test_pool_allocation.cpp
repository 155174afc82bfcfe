// The pool when its bookkeeping cannot grow: the block pool throws its message, and the manager
// turns that into a failed run or runAsync that starts nothing and leaks no worker. A binary of
// its own, because it replaces the non-throwing global allocation to make it fail on demand.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <new>
#include <string>

#include "support/threading/SequenceBlock.h"
#include "support/threading/WinThreadManager.h"
#include "support/threading/WorkerRecord.h"

namespace {

std::atomic<bool> refuseNothrowAllocations{false};

// Non-throwing allocations fail while alive.
struct RefusedAllocations {
  RefusedAllocations() { refuseNothrowAllocations.store(true); }
  ~RefusedAllocations() { refuseNothrowAllocations.store(false); }
};

struct CountingBatch : KUtils::BatchProcedure {
  const char* name() override { return "CountingBatch"; }
  void run(int*, int*, int, int) override { runs.fetch_add(1); }
  std::atomic<int> runs{0};
};

struct CountingProcedure : KUtils::ThreadProcedure {
  const char* name() override { return "CountingProcedure"; }
  void run(void*) override { runs.fetch_add(1); }
  std::atomic<int> runs{0};
};

}  // namespace

// Goes through the throwing allocation, so the sanitizers see matching new and delete.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (refuseNothrowAllocations.load()) return nullptr;
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}

TEST(SequenceBlockAllocation, AFullPoolThatCannotGrowThrowsAndKeepsItsEntries) {
  KUtils::_SequenceBlock<int, 10> pool;
  for (int i = 0; i < 10; ++i) pool.add() = i;
  std::string message;
  {
    RefusedAllocations refused;
    try {
      pool.add();
    } catch (const KUtils::ExceptionMsg& failure) {
      message = failure.message();
    }
  }
  EXPECT_EQ(message, "[_SequenceBlock] Could not allocate memory");
  EXPECT_EQ(pool.size(), 10);
  int sum = 0;
  pool.find([&sum](int& value) {
    sum += value;
    return false;
  });
  EXPECT_EQ(sum, 45);
  pool.add() = 10;  // grows again once memory is back
  EXPECT_EQ(pool.size(), 11);
}

TEST(WinThreadManagerAllocation, ABatchThatCannotGetItsWorkersRunsNowhere) {
  const int recordsBefore = KUtils::WorkerRecord::liveCount();
  {
    KUtils::WinThreadManager manager;
    CountingBatch first;
    CountingProcedure async;
    {
      RefusedAllocations refused;
      EXPECT_EQ(manager.run(1, &first, nullptr, false), -1);
      EXPECT_EQ(manager.runAsync(&async, nullptr, 0), -1);
    }
    EXPECT_EQ(first.runs.load(), 0);
    EXPECT_EQ(async.runs.load(), 0);
    EXPECT_EQ(manager.workerCount(), 0);
    EXPECT_EQ(KUtils::WorkerRecord::liveCount(), recordsBefore);

    // Ten workers fill the first block of worker entries; an eleventh needs a new block.
    CountingBatch ten;
    ASSERT_EQ(manager.run(10, &ten, nullptr, false), 0);
    EXPECT_EQ(ten.runs.load(), 10);
    CountingBatch eleven;
    {
      RefusedAllocations refused;
      EXPECT_EQ(manager.run(11, &eleven, nullptr, false), -1);
    }
    EXPECT_EQ(eleven.runs.load(), 0);
    EXPECT_EQ(manager.workerCount(), 10);

    // The claimed workers were handed back: the same batch runs once memory is back.
    ASSERT_EQ(manager.run(11, &eleven, nullptr, false), 0);
    EXPECT_EQ(eleven.runs.load(), 11);
    EXPECT_EQ(manager.workerCount(), 11);
  }
  EXPECT_EQ(KUtils::WorkerRecord::liveCount(), recordsBefore);
}
