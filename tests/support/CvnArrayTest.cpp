// CvnArray: growth figures, resizing, removal and the relocation of its own elements.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "support/CvnArray.h"
#include "support/Log.h"
#include "tests/support/CapturedOutput.h"

namespace {

using CVNUtils::CvnArray;

// A class element that counts its live objects, so destruction and construction are observable.
struct Counted {
  static int live;
  int value = -1;
  Counted() { ++live; }
  explicit Counted(int v) : value(v) { ++live; }
  Counted(const Counted& other) : value(other.value) { ++live; }
  Counted& operator=(const Counted&) = default;
  ~Counted() { --live; }
};
int Counted::live = 0;

}  // namespace

ORV_DECLARE_BYTE_MOVABLE(Counted);

TEST(CvnArrayGrowth, AppendLeavesAQuarterOfHeadroomAndAtLeastEight) {
  CvnArray<int> array;
  EXPECT_EQ(array.data, nullptr);
  EXPECT_EQ(array.capacity, 0);
  EXPECT_EQ(array.growthDivisor, 4);
  std::vector<int> capacities;
  for (int i = 0; i < 60; ++i) {
    ASSERT_TRUE(array.Append(i));
    capacities.push_back(array.capacity);
  }
  EXPECT_EQ(capacities[0], 9);  // 1 + 8
  EXPECT_EQ(capacities[8], 9);
  EXPECT_EQ(capacities[9], 18);   // 10 + max(8, 10 / 4)
  EXPECT_EQ(capacities[18], 27);  // 19 + 8
  EXPECT_EQ(capacities[27], 36);  // 28 + 8 (28 / 4 is less)
  EXPECT_EQ(capacities[36], 46);  // 37 + 37 / 4
  for (int i = 0; i < 60; ++i) EXPECT_EQ(array[i], i);
}

TEST(CvnArrayGrowth, SetSizeGrowsWithHeadroomOrExactlyAndNeverShrinksStorage) {
  CvnArray<float, long long> loose;
  ASSERT_TRUE(loose.SetSize(100));
  EXPECT_EQ(loose.capacity, 125);
  const float fill = 2.5f;
  CvnArray<float, long long> exact;
  ASSERT_TRUE(exact.SetSize(100, &fill, true));
  EXPECT_EQ(exact.capacity, 100);
  for (float value : exact) EXPECT_EQ(value, 2.5f);

  float* const storage = exact.data;
  ASSERT_TRUE(exact.SetSize(10));
  EXPECT_EQ(exact.size(), 10);
  EXPECT_EQ(exact.capacity, 100);
  EXPECT_EQ(exact.data, storage);
  ASSERT_TRUE(exact.SetSize(100));  // regrowth within the capacity keeps the storage
  EXPECT_EQ(exact.data, storage);
}

TEST(CvnArrayGrowth, ADivisorBelowOneGivesTheMinimumHeadroom) {
  CvnArray<int> array;
  array.growthDivisor = 0;
  ASSERT_TRUE(array.SetSize(1000));
  EXPECT_EQ(array.capacity, 1008);
}

TEST(CvnArraySetSize, SameSizeChangesNothingAndANegativeSizeIsRefused) {
  CvnArray<int> array;
  ASSERT_TRUE(array.SetSize(5));
  int* const storage = array.data;
  EXPECT_TRUE(array.SetSize(5));
  EXPECT_EQ(array.data, storage);

  LogCapture log;
  EXPECT_FALSE(array.SetSize(-1));
  ASSERT_EQ(log.lines().size(), 1u);
  EXPECT_EQ(log.lines()[0], "[ERROR] CvnArray SetSize() with a negative newsz!\n");
  EXPECT_EQ(array.size(), 5);
}

TEST(CvnArraySetSize, ASizeBeyondAddressableStorageFailsAndEmptiesTheArray) {
  CvnArray<double, long long> array;
  ASSERT_TRUE(array.SetSize(3));
  EXPECT_FALSE(array.SetSize(LLONG_MAX / 2));
  EXPECT_EQ(array.data, nullptr);
  EXPECT_EQ(array.size(), 0);
  EXPECT_EQ(array.capacity, 0);
  EXPECT_TRUE(array.Append(1.0));  // the emptied array is usable again
}

TEST(CvnArraySetSize, AFillValueTakenFromTheArrayItselfSurvivesTheReallocation) {
  CvnArray<int> array;
  ASSERT_TRUE(array.SetSize(9, nullptr, true));
  for (int i = 0; i < 9; ++i) array[i] = 100 + i;
  ASSERT_TRUE(array.SetSize(40, &array[4]));  // storage moves while the fill is read
  for (int i = 9; i < 40; ++i) EXPECT_EQ(array[i], 104);
}

TEST(CvnArrayAppend, AppendingOwnElementsWhileTheStorageMoves) {
  CvnArray<Counted> array;
  ASSERT_TRUE(array.Append(Counted(7)));
  while (array.size() < array.capacity) ASSERT_TRUE(array.Append(Counted(array.size())));
  const Counted& first = array[0];
  ASSERT_TRUE(array.Append(first));  // full: reallocation happens during this call
  EXPECT_EQ(array[array.size() - 1].value, 7);
  while (array.size() < array.capacity) ASSERT_TRUE(array.Append(Counted(1)));
  ASSERT_TRUE(array.Append(std::move(array[0])));
  EXPECT_EQ(array[array.size() - 1].value, 7);
}

TEST(CvnArrayElements, ClassElementsAreConstructedOnceAndDestroyedOnce) {
  Counted::live = 0;
  {
    CvnArray<Counted> array;
    const Counted fill(3);
    ASSERT_TRUE(array.SetSize(20, &fill));
    EXPECT_EQ(Counted::live, 21);
    for (const Counted& element : array) EXPECT_EQ(element.value, 3);
    ASSERT_TRUE(array.SetSize(5));
    EXPECT_EQ(Counted::live, 6);
    Counted popped = array.Pop();
    EXPECT_EQ(popped.value, 3);
    EXPECT_EQ(array.size(), 4);
    array.Remove(1, 2, true, false);
    EXPECT_EQ(Counted::live, 4);  // two left, the popped copy and the fill
  }
  EXPECT_EQ(Counted::live, 0);
}

TEST(CvnArrayElements, NestedArraysRelocateByBytes) {
  CvnArray<CvnArray<char, long long>> rows;
  for (int r = 0; r < 50; ++r) {
    CvnArray<char, long long> row;
    ASSERT_TRUE(row.SetSize(r + 1));
    for (long long i = 0; i <= r; ++i) row[i] = static_cast<char>('a' + r % 26);
    ASSERT_TRUE(rows.Append(std::move(row)));
  }
  for (int r = 0; r < 50; ++r) {
    ASSERT_EQ(rows[r].size(), r + 1);
    EXPECT_EQ(rows[r][r], static_cast<char>('a' + r % 26));
  }
}

TEST(CvnArrayRemove, OrderKeptOrFilledFromTheEnd) {
  auto make = [](std::initializer_list<int> values) {
    auto array = std::make_unique<CvnArray<int>>();
    for (int v : values) array->Append(v);
    return array;
  };
  auto contents = [](const CvnArray<int>& array) {
    return std::vector<int>(array.begin(), array.end());
  };
  auto unordered = make({1, 2, 3});
  unordered->Remove(0, 1, false, true);
  EXPECT_EQ(contents(*unordered), (std::vector<int>{3, 2}));
  auto ordered = make({1, 2, 3});
  ordered->Remove(0, 1, true, false);
  EXPECT_EQ(contents(*ordered), (std::vector<int>{2, 3}));
  auto overlapping = make({1, 2, 3, 4});
  overlapping->Remove(1, 2, false, false);
  EXPECT_EQ(contents(*overlapping), (std::vector<int>{1, 4}));
  auto tooMany = make({1, 2, 3});
  tooMany->Remove(1, 10, true, true);  // clamped to the elements in use
  EXPECT_EQ(contents(*tooMany), (std::vector<int>{1}));
}

TEST(CvnArrayPop, AnEmptyArrayGivesZeroAndStaysEmpty) {
  CvnArray<void*> array;
  EXPECT_EQ(array.Pop(), nullptr);
  EXPECT_EQ(array.size(), 0);
  EXPECT_EQ(array.data, nullptr);
}
