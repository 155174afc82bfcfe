// The frame loop against a fake frame source: names, progress and error lines, release order.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "converter/ConversionLoop.h"

namespace {

// Loads the names it is told to, exports with a fixed result and records every call.
class FakeConverter : public FrameConverter {
 public:
  std::vector<std::string> calls;
  bool loads = true;
  int exportResult = 0;

  IOrv* openFrame(const char* path) override {
    calls.push_back(std::string("open ") + path);
    return loads ? reinterpret_cast<IOrv*>(&token_) : nullptr;
  }
  int exportFrame(const char* destination, IOrv*) override {
    calls.push_back(std::string("export ") + destination);
    return exportResult;
  }
  void releaseFrame(IOrv* frame) override {
    EXPECT_EQ(frame, reinterpret_cast<IOrv*>(&token_));
    calls.push_back("release");
  }

 private:
  int token_ = 0;
};

// Runs the loop with standard output captured.
std::string runLoop(const ConverterSettings& settings, FakeConverter& fake) {
  std::stringstream captured;
  std::streambuf* previous = std::cout.rdbuf(captured.rdbuf());
  EXPECT_EQ(RunConversionLoop(settings, fake), 0);
  std::cout.rdbuf(previous);
  return captured.str();
}

ConverterSettings rangeSettings(const char* source, const char* destination, int start, int end) {
  ConverterSettings s;
  s.source = source;
  s.destination = destination;
  s.sourceGiven = s.destinationGiven = true;
  s.startFrame = start;
  s.endFrame = end;
  return s;
}

TEST(ConversionLoop, RangeExpandsNamesAndCountsPositions) {
  FakeConverter fake;
  const std::string out = runLoop(rangeSettings("a_####.orv", "b_####.vdb", 5, 7), fake);
  EXPECT_EQ(out,
            "Converting a_0005.orv to b_0005.vdb | 0......50......100 | 1/3\n"
            "Converting a_0006.orv to b_0006.vdb | 0......50......100 | 2/3\n"
            "Converting a_0007.orv to b_0007.vdb | 0......50......100 | 3/3\n");
  const std::vector<std::string> expected = {
      "open a_0005.orv", "export b_0005.vdb", "release", "open a_0006.orv", "export b_0006.vdb",
      "release",         "open a_0007.orv",   "export b_0007.vdb", "release"};
  EXPECT_EQ(fake.calls, expected);
}

TEST(ConversionLoop, SingleFileModeUsesNamesAsTheyStand) {
  FakeConverter fake;
  const std::string out = runLoop(rangeSettings("a_##.orv", "b_##.vdb", 0, -1), fake);
  EXPECT_EQ(out, "Converting a_##.orv to b_##.vdb | 0......50......100 | 1/0\n");
  EXPECT_EQ(fake.calls.size(), 3u);
}

TEST(ConversionLoop, EmptyRangeMakesNoPass) {
  FakeConverter fake;
  EXPECT_EQ(runLoop(rangeSettings("a_#.orv", "b_#.vdb", 7, 5), fake), "");
  EXPECT_TRUE(fake.calls.empty());
}

TEST(ConversionLoop, ErrorLinesContinueProgressAndAppearWhenSilent) {
  FakeConverter fake;
  fake.loads = false;
  ConverterSettings s = rangeSettings("a_#.orv", "b_#.vdb", 1, 2);
  EXPECT_EQ(runLoop(s, fake),
            "Converting a_1.orv to b_1.vdb | 0...An error has been encountered while converting "
            "frame 1: Unable to load source cache \n"
            "Converting a_2.orv to b_2.vdb | 0...An error has been encountered while converting "
            "frame 2: Unable to load source cache \n");
  EXPECT_EQ(std::count(fake.calls.begin(), fake.calls.end(), "release"), 0);

  s.showProgress = false;
  fake.loads = true;
  fake.exportResult = 1;
  EXPECT_EQ(runLoop(s, fake),
            "An error has been encountered while converting frame 1: Unable to expand a source "
            "channel\n"
            "An error has been encountered while converting frame 2: Unable to expand a source "
            "channel\n");
  fake.exportResult = 2;
  s.endFrame = 1;
  EXPECT_EQ(runLoop(s, fake),
            "An error has been encountered while converting frame 1: Unable to write to "
            "destination file\n");
  fake.exportResult = 5;
  s.showProgress = true;
  EXPECT_EQ(runLoop(s, fake),
            "Converting a_1.orv to b_1.vdb | 0......50...An error has been encountered while "
            "converting frame 1: \n");
}

TEST(ConversionLoop, LargestEndFrameStopsInsteadOfWrapping) {
  FakeConverter fake;
  ConverterSettings s = rangeSettings("a_#.orv", "b_#.vdb", 2147483646, 2147483647);
  s.showProgress = false;
  EXPECT_EQ(runLoop(s, fake), "");
  const std::vector<std::string> expected = {"open a_2147483646.orv", "export b_2147483646.vdb",
                                             "release", "open a_.orv", "export b_.vdb", "release"};
  EXPECT_EQ(fake.calls, expected);
}

}  // namespace
