// Frame lists as users write them on the command line.
#include <gtest/gtest.h>

#include "converter/FrameList.h"

namespace {

TEST(FrameList, RangesStepsAndSingleFramesInTheOrderWrittenEachOnce) {
  const struct {
    const char* text;
    std::vector<int> frames;
  } cases[] = {
      {"7", {7}},
      {"1-4", {1, 2, 3, 4}},
      {"1-10:3", {1, 4, 7, 10}},
      {"1-11:3", {1, 4, 7, 10}},
      {"5,7,9-12", {5, 7, 9, 10, 11, 12}},
      {"9-10,1-3:2,10,1", {9, 10, 1, 3}},
      {"-3--1,-5", {-3, -2, -1, -5}},
      {"2147483646-2147483647", {2147483646, 2147483647}},
  };
  for (const auto& c : cases) {
    std::vector<int> frames;
    std::string reason;
    EXPECT_TRUE(ParseFrameList(c.text, frames, &reason)) << c.text << ": " << reason;
    EXPECT_EQ(c.frames, frames) << c.text;
  }
}

TEST(FrameList, MalformedListsAreRefusedWithAReason) {
  for (const char* text : {"", "1,,2", "1-", "a", "1-5:0", "5-1", "1-5:2x", " 1", "1-2-3",
                           "99999999999", "0-20000000"}) {
    std::vector<int> frames = {42};
    std::string reason;
    EXPECT_FALSE(ParseFrameList(text, frames, &reason)) << text;
    EXPECT_NE("", reason) << text;
    EXPECT_EQ(std::vector<int>{42}, frames) << text << ": left as it was";
  }
}

}  // namespace
