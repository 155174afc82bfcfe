#include "support/FramePattern.h"

#include <gtest/gtest.h>

TEST(FramePatternExpansion, HashRunsArePaddedToTheirLength) {
  EXPECT_EQ(ExpandFramePattern("out_####.vdb", 7, ""), "out_0007.vdb");
  EXPECT_EQ(ExpandFramePattern("out_####.vdb", 12345, ""), "out_12345.vdb");
  EXPECT_EQ(ExpandFramePattern("out_####.vdb", -7, ""), "out_-007.vdb");
  EXPECT_EQ(ExpandFramePattern("###############", 1, ""), "000000000001");
  EXPECT_EQ(ExpandFramePattern("C:\\cache_##\\fire_###.orv", 5, ""), "C:\\cache_##\\fire_005.orv");
}

TEST(FramePatternExpansion, SpecifiersAndTags) {
  EXPECT_EQ(ExpandFramePattern("f%04d.orv", 3, ""), "f0003.orv");
  EXPECT_EQ(ExpandFramePattern("f%4d.orv", 3, ""), "f   3.orv");
  EXPECT_EQ(ExpandFramePattern("f%d.orv", 3, ""), "f3.orv");
  EXPECT_EQ(ExpandFramePattern("f%u.orv", -1, ""), "f4294967295.orv");
  EXPECT_EQ(ExpandFramePattern("f%%d.orv", 3, ""), "f%%d.orv");
  EXPECT_EQ(ExpandFramePattern("f<frame04>.orv", 3, ""), "f0003.orv");
  EXPECT_EQ(ExpandFramePattern("f<frame>.orv", 3, ""), "f3.orv");
  EXPECT_EQ(ExpandFramePattern("f<frame4.orv", 3, ""), "f<frame4.orv");
  EXPECT_EQ(ExpandFramePattern("a<##", 3, ""), "a<#3");
}

TEST(FramePatternExpansion, EdgeInputsStayInBounds) {
  EXPECT_EQ(ExpandFramePattern("a<", 3, ""), "a<");
  EXPECT_FALSE(HasFrameToken("abc<"));
  EXPECT_EQ(ExpandFramePattern("f%099999999999999999d", 3, ""), "f000000000003");
  EXPECT_EQ(ExpandFramePattern(nullptr, 3, ""), "");
  EXPECT_EQ(ExpandFramePattern("fire_####.orv", NoFrame, "*"), "fire_*.orv");
  EXPECT_EQ(ExpandFramePattern("fire_%04d<frame2>.orv", NoFrame, "*"), "fire_**.orv");
}

TEST(FramePatternNames, FrameNumberExtensionAndDirectory) {
  EXPECT_TRUE(HasFrameToken("a##\\b.orv"));
  EXPECT_EQ(FrameNumberFromFileName("fire_0012.orv"), 12);
  EXPECT_EQ(FrameNumberFromFileName("fire_0012_v2.orv"), 2);
  EXPECT_EQ(FrameNumberFromFileName("fire-0012.orv"), -12);
  EXPECT_EQ(FrameNumberFromFileName("fire.orv"), NoFrame);
  EXPECT_EQ(FrameNumberFromFileName("fire_0012"), NoFrame);
  EXPECT_EQ(FrameNumberFromFileName("dir.v2\\fire"), NoFrame);
  EXPECT_EQ(LowerExtension("A.ORV"), "orv");
  EXPECT_EQ(LowerExtension("noext"), "");
  std::string rest;
  EXPECT_EQ(DirectoryPart("a/b\\c.orv", &rest), "a/b\\");
  EXPECT_EQ(rest, "c.orv");
}

TEST(FramePatternListing, MatchesAreSortedWithTheirPrefix) {
  const std::string dir = std::string(ORV_SOURCE_DIR) + "/support/";
  StringList list;
  ASSERT_TRUE(ListMatchingFiles((dir + "*Pattern.*").c_str(), list));
  ASSERT_EQ(list.count(), 2);
  EXPECT_EQ(std::string(list.at(0)), dir + "FramePattern.cpp");
  EXPECT_EQ(std::string(list.at(1)), dir + "FramePattern.h");
  EXPECT_EQ(list.at(2), nullptr);
  EXPECT_FALSE(ListMatchingFiles((dir + "*.nomatch").c_str(), list));
  EXPECT_EQ(list.count(), 2);
}
