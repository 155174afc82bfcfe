// Guarded allocation: failures reported by results and messages, zeroed storage by either route.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Allocation.h"
#include "support/Log.h"
#include "tests/support/CapturedOutput.h"

namespace {

class AllocationTest : public ::testing::Test {
 protected:
  LogCapture log;
};

struct Record {
  double a = 1.0, b = 2.0, c = 3.0;
};

}  // namespace

TEST_F(AllocationTest, NewArrayGivesUsableStorageOfEachElementSize) {
  int* ints = nullptr;
  ASSERT_TRUE(newArray(ints, 1000));
  ints[999] = 5;
  deleteArray(ints);
  Record* records = nullptr;
  ASSERT_TRUE(newArray(records, 10));
  EXPECT_EQ(records[9].c, 3.0);
  deleteArray(records);
  EXPECT_TRUE(log.lines().empty());
}

TEST_F(AllocationTest, CountsWhoseByteSizeOverflowFailWithoutAllocating) {
  float* p = reinterpret_cast<float*>(this);  // must be reset to null
  EXPECT_FALSE(newArray(p, 1ull << 62));
  EXPECT_EQ(p, nullptr);
  Record* records = reinterpret_cast<Record*>(this);
  EXPECT_FALSE(newArray(records, ~0ull / 3));
  EXPECT_EQ(records, nullptr);
}

TEST_F(AllocationTest, ZeroedArrayIsAllZeroAndAFailedRequestTellsWhy) {
  int* zeroed = nullptr;
  ASSERT_TRUE(newZeroedArray(zeroed, 1 << 16));
  for (int i = 0; i < (1 << 16); ++i) ASSERT_EQ(zeroed[i], 0) << i;
  deleteArray(zeroed);
  EXPECT_TRUE(log.lines().empty());

  EXPECT_FALSE(newZeroedArray(zeroed, 1ll << 62));
  EXPECT_EQ(zeroed, nullptr);
  ASSERT_EQ(log.lines().size(), 3u);
  EXPECT_EQ(log.lines()[0], "[ERROR] newZeroedArray failed to allocate ENOMEM 4611686018427387904\n");
  EXPECT_EQ(log.lines()[1], "Retry newZeroedArray with newArray and memset\n");
  EXPECT_EQ(log.lines()[2], "Retry newZeroedArray with newArray and memset result = 0\n");
}

TEST_F(AllocationTest, NewObjectIsDefaultConstructed) {
  Record* record = nullptr;
  ASSERT_TRUE(newObject(record));
  EXPECT_EQ(record->b, 2.0);
  delete record;
}
