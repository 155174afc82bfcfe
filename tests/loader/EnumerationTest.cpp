// Enumeration of the files a pattern names, and the grids the plug-ins report for them.
#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "loader/ChannelMappings.h"
#include "loader/EnumFiles.h"
#include "orv/OrvLoader.h"
#include "support/FramePattern.h"
#include "tests/conversion/ScratchDirectory.h"
#include "tests/loader/LoaderTestSupport.h"

namespace {

using Calls = std::vector<std::pair<int, std::string>>;

// Records every file offered and accepts none, as the grid collector does.
class RecordingEnum : public CorvaneEnum::EnumFiles {
 public:
  bool onFile(int frame, const char* fileName) override {
    calls.emplace_back(frame, fileName);
    return false;
  }
  Calls calls;
};

// A cache file of the test plug-ins: one "<grid> <flag>" per line.
void writeGridList(const std::string& path, const std::string& lines) { std::ofstream(path) << lines; }

class Enumeration : public ::testing::Test {
 protected:
  std::string make(const std::string& name, const std::string& lines = "") {
    const std::string path = scratch.file(name);
    writeGridList(path, lines);
    return path;
  }
  ScratchDirectory scratch;
};

TEST_F(Enumeration, PaddedPatternOffersEachFrameOnce) {
  const std::string one = make("fire_0001.vdb");
  const std::string two = make("fire_0002.vdb");
  make("smoke_0003.vdb");
  RecordingEnum walk;
  EXPECT_TRUE(walk.Enumerate(scratch.file("fire_####.vdb").c_str(), -1));
  EXPECT_EQ(walk.calls, (Calls{{1, one}, {2, two}}));
}

TEST_F(Enumeration, UnpaddedOrvFramesAreFoundByTheHashRetry) {
  const std::string one = make("fire_1.orv");
  const std::string two = make("fire_2.orv");
  RecordingEnum walk;
  EXPECT_TRUE(walk.Enumerate(scratch.file("fire_####.orv").c_str(), -1));
  EXPECT_EQ(walk.calls, (Calls{{1, one}, {2, two}}));
  // No retry for other extensions.
  make("fire_1.vdb");
  make("fire_2.vdb");
  RecordingEnum vdb;
  EXPECT_TRUE(vdb.Enumerate(scratch.file("fire_####.vdb").c_str(), -1));
  EXPECT_TRUE(vdb.calls.empty());
}

TEST_F(Enumeration, ModesSelectWhichFilesCount) {
  const std::string unpadded = make("fire_1.vdb");
  const std::string padded = make("fire_0002.vdb");
  RecordingEnum everyFile;
  EXPECT_TRUE(everyFile.Enumerate(scratch.file("fire_####.vdb").c_str(), 0));
  EXPECT_EQ(everyFile.calls, (Calls{{2, padded}, {1, unpadded}}));

  RecordingEnum exact;
  exact.requestedFrame = 2;
  EXPECT_TRUE(exact.Enumerate(scratch.file("fire_####.vdb").c_str(), 2));
  EXPECT_EQ(exact.calls, (Calls{{2, padded}}));
  RecordingEnum missing;
  missing.requestedFrame = 7;
  EXPECT_TRUE(missing.Enumerate(scratch.file("fire_####.vdb").c_str(), 2));
  EXPECT_TRUE(missing.calls.empty());
}

TEST_F(Enumeration, SingleMatchIsOfferedUnderTheRequestedFrame) {
  const std::string only = make("fire_0005.vdb");
  RecordingEnum walk;
  walk.requestedFrame = 9;
  EXPECT_TRUE(walk.Enumerate(scratch.file("fire_####.vdb").c_str(), -1));
  EXPECT_EQ(walk.calls, (Calls{{9, only}}));
}

TEST_F(Enumeration, PatternsWithoutTokenNeedAnExistingFile) {
  RecordingEnum missing;
  EXPECT_FALSE(missing.Enumerate(scratch.file("absent.vdb").c_str(), -1));
  EXPECT_FALSE(missing.Enumerate(nullptr, -1));
  EXPECT_TRUE(missing.calls.empty());
  const std::string present = make("still.vdb");
  RecordingEnum found;
  EXPECT_TRUE(found.Enumerate(present.c_str(), -1));
  EXPECT_EQ(found.calls, (Calls{{NoFrame, present}}));
  EXPECT_EQ(found.acceptedName, present);
  RecordingEnum none;
  EXPECT_FALSE(none.Enumerate(scratch.file("gone_####.vdb").c_str(), -1));
}

TEST_F(Enumeration, BaseChoiceTakesNearestOrExactFrame) {
  for (const char* name : {"f_0001.orv", "f_0004.orv", "f_0006.orv", "f_0009.orv"}) make(name);
  CorvaneEnum::EnumFiles nearest;
  nearest.exactMatch = 0;
  nearest.requestedFrame = 5;
  EXPECT_TRUE(nearest.Enumerate(scratch.file("f_####.orv").c_str(), -1));
  EXPECT_EQ(nearest.chosenFrame, 4);  // 4 and 6 are as near; the first seen wins
  EXPECT_EQ(nearest.acceptedName, scratch.file("f_0004.orv"));

  CorvaneEnum::EnumFiles exact;
  exact.requestedFrame = 6;
  EXPECT_TRUE(exact.Enumerate(scratch.file("f_####.orv").c_str(), -1));
  EXPECT_EQ(exact.acceptedName, scratch.file("f_0006.orv"));
  CorvaneEnum::EnumFiles far;
  far.exactMatch = 0;
  far.requestedFrame = INT_MAX - 1;  // distances beyond the int range
  EXPECT_TRUE(far.Enumerate(scratch.file("f_####.orv").c_str(), -1));
  EXPECT_EQ(far.chosenFrame, 9);
}

class GridCollection : public Enumeration {
 protected:
  void TearDown() override {
    CorvanePlugins::UnloadPlugins();
    ClearPluginCalls();
  }
};

TEST_F(GridCollection, WithoutPluginsEveryPathGetsTheOwnList) {
  make("fire_0001.vdb", "density 0\n");
  const std::string own = CorvaneMappings::OwnChannelMappings();
  EXPECT_EQ(DefaultChannelMappings(scratch.file("fire_####.vdb").c_str()), own);
  EXPECT_EQ(DefaultChannelMappings(""), own);
  EXPECT_EQ(DefaultChannelMappings(nullptr), own);
  char name[16];
  int flag = 5;
  EXPECT_EQ(orvGet3rdPartyChannelName(name, sizeof name, &flag, scratch.file("fire_0001.vdb").c_str(), 0), -1);
  EXPECT_EQ(flag, 5);
}

TEST_F(GridCollection, GridsOfAllFramesMergeByNameFirstFlagWins) {
  ASSERT_EQ(initalizeOrvaLoader(TestPluginFolder(), "fixed", 0), 3);
  make("fire_0001.vdb", "density 0\nvel.x 1\n");
  make("fire_0002.vdb", "vel.x 0\nheat 0\n");
  const std::string pattern = scratch.file("fire_####.vdb");
  const char* expected[] = {"density", "vel.x", "heat"};
  const int flags[] = {0, 1, 0};
  for (int i = 0; i < 3; ++i) {
    char name[16];
    int flag = -1;
    EXPECT_EQ(orvGet3rdPartyChannelName(name, sizeof name, &flag, pattern.c_str(), i), 1);
    EXPECT_STREQ(name, expected[i]);
    EXPECT_EQ(flag, flags[i]);
  }
  char shortName[4];
  int flag = -1;
  EXPECT_EQ(orvGet3rdPartyChannelName(shortName, sizeof shortName, &flag, pattern.c_str(), 0), 0);
  EXPECT_STREQ(shortName, "den");
  EXPECT_EQ(orvGet3rdPartyChannelName(shortName, sizeof shortName, &flag, pattern.c_str(), 3), -1);
  EXPECT_EQ(orvGet3rdPartyChannelName(shortName, sizeof shortName, &flag, pattern.c_str(), -1), -1);

  char mapping[128];
  EXPECT_EQ(orvGenerateDefaultChannelMappings(mapping, sizeof mapping, pattern.c_str()), 1);
  EXPECT_STREQ(mapping, "2,density;4,vel.x;");
}

TEST_F(GridCollection, RulesFollowTheExtensionOfEachPath) {
  ASSERT_EQ(initalizeOrvaLoader(TestPluginFolder(), "fixed", 0), 3);
  const std::string field3d = make("cloud.f3d", "VelocitiesX 0\n");
  const std::string vdb = make("cloud.vdb", "heat 0\nvel.x 1\n");
  EXPECT_EQ(DefaultChannelMappings(field3d.c_str()), "6,VelocitiesX;");
  EXPECT_EQ(DefaultChannelMappings(vdb.c_str()), "4,vel.x;2,heat;");
  // A file whose grids no rule names, and none may stand in for density.
  const std::string vectors = make("only.vdb", "v.x 1\n");
  EXPECT_EQ(DefaultChannelMappings(vectors.c_str()), "");
  const std::string orv = make("frame.orv");
  EXPECT_EQ(DefaultChannelMappings(orv.c_str()), CorvaneMappings::OwnChannelMappings());
}

TEST_F(GridCollection, PluginWithoutGridsFallsBackToTheOwnList) {
  ASSERT_EQ(initalizeOrvaLoader(TestPluginFolder(), "fixed", 0), 3);
  const std::string empty = make("empty.vdb");
  EXPECT_EQ(DefaultChannelMappings(empty.c_str()), CorvaneMappings::OwnChannelMappings());
}

TEST_F(GridCollection, PatternsOfAnyBytesStayInBounds) {
  ASSERT_EQ(initalizeOrvaLoader(TestPluginFolder(), "fixed", 0), 3);
  make("fire_0001.vdb", "density 0\n");
  std::mt19937 random(11);
  const std::string base = scratch.path().string() + "/";
  for (int round = 0; round < 400; ++round) {
    std::string tail(random() % 48, ' ');
    for (char& c : tail) c = static_cast<char>(1 + random() % 255);
    const std::string pattern = base + tail;
    RecordingEnum walk;
    walk.requestedFrame = static_cast<int>(random());
    walk.Enumerate(pattern.c_str(), static_cast<int>(random() % 4) - 1);
    for (const auto& call : walk.calls) EXPECT_EQ(call.second.compare(0, base.size(), base), 0);
    char out[8];
    int flag = 0;
    orvGenerateDefaultChannelMappings(out, sizeof out, pattern.c_str());
    orvGet3rdPartyChannelName(out, sizeof out, &flag, pattern.c_str(), 0);
  }
}

}  // namespace
