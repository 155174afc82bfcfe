// Frame opening, sharing and release; imports through the plug-ins; the loader's teardown.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "cache/CorvaneFrameData.h"
#include "loader/ChannelMappings.h"
#include "loader/PluginImport.h"
#include "orv/OrvLoader.h"
#include "tests/conversion/ScratchDirectory.h"
#include "tests/loader/LoaderTestSupport.h"

namespace {

const std::string kFrameA = ORV_REFERENCE_DIR "v5_zoned_fc03.orv";
const std::string kFrameB = ORV_REFERENCE_DIR "v4_sgc3_zoned.orv";
const std::string kFrameC = ORV_REFERENCE_DIR "v6_colour18.orv";

CorvaneFrameData* data(IOrv* frame) { return static_cast<CorvaneFrameData*>(frame); }
int listed() { return CorvaneFrame::SharedFrameList().size(); }

std::string referenceLine(const char* event, IOrv* frame, int count, int mode, const std::string& path) {
  char line[2048];
  std::snprintf(line, sizeof line, "CorvaneFrameData %s %08X %d, I:%d, %s\n", event,
                static_cast<unsigned int>(reinterpret_cast<std::uintptr_t>(frame)), count, mode,
                path.c_str());
  return line;
}

using FrameSharing = LoaderStateTest;

TEST_F(FrameSharing, SameFileSharesOneFrameUntilTheLastRelease) {
  LogCapture log;
  IOrv* first = newIOrv(kFrameA.c_str());
  ASSERT_NE(first, nullptr);
  IOrv* second = newIOrv(kFrameA.c_str());
  EXPECT_EQ(first, second);
  EXPECT_EQ(listed(), 1);
  EXPECT_TRUE(log.contains(referenceLine("refCount=1", first, 1, 0, kFrameA)));
  EXPECT_TRUE(log.contains(referenceLine("refCount++", first, 2, 0, kFrameA)));
  deleteIOrv(first);
  EXPECT_EQ(listed(), 1);
  EXPECT_EQ(data(first)->referenceCount, 1);
  EXPECT_TRUE(log.contains(referenceLine("refCount--", first, 1, 0, kFrameA)));
  deleteIOrv(second);
  EXPECT_EQ(listed(), 0);
  deleteIOrv(nullptr);
}

TEST_F(FrameSharing, MappingStringIsPartOfTheIdentity) {
  IOrv* own = newIOrv(kFrameA.c_str());
  IOrv* none = newIOrvWithChannelsMapping(kFrameA.c_str(), nullptr);
  ASSERT_NE(own, nullptr);
  ASSERT_NE(none, nullptr);
  EXPECT_NE(own, none);
  EXPECT_EQ(data(own)->mappingString, CorvaneMappings::OwnChannelMappings());
  EXPECT_EQ(data(none)->mappingString, "");
  EXPECT_EQ(newIOrvWithChannelsMapping(kFrameA.c_str(), ""), none);
  EXPECT_EQ(data(none)->referenceCount, 2);
}

TEST_F(FrameSharing, VoxelLimitOrModeMakeFramesPrivate) {
  IOrv* shared = newIOrv(kFrameA.c_str());
  EXPECT_EQ(newIOrvMaxVox(kFrameA.c_str(), -1, false), shared);
  IOrv* limited = newIOrvMaxVox(kFrameA.c_str(), 1000, false);
  IOrv* again = newIOrvMaxVox(kFrameA.c_str(), 1000, false);
  IOrv* headerOnly = newIOrvWithChannelsMappingMaxVox(kFrameA.c_str(), "", -1, true);
  ASSERT_NE(limited, nullptr);
  ASSERT_NE(headerOnly, nullptr);
  EXPECT_NE(limited, again);
  EXPECT_NE(limited, shared);
  EXPECT_EQ(listed(), 1);
  EXPECT_EQ(data(headerOnly)->flags & 4u, 4u);
  EXPECT_EQ(data(limited)->flags & 4u, 0u);
  deleteIOrv(limited);  // not listed: left alone
  EXPECT_EQ(data(limited)->referenceCount, 0);
  EXPECT_EQ(listed(), 1);
  delete limited;
  delete again;
  delete headerOnly;
}

TEST_F(FrameSharing, UnreadablePathsGiveNull) {
  EXPECT_EQ(newIOrv(""), nullptr);
  EXPECT_EQ(newIOrv(nullptr), nullptr);
  EXPECT_EQ(newIOrv((ORV_REFERENCE_DIR "README.md")), nullptr);
  EXPECT_EQ(newIOrv("/nowhere/frame.orv"), nullptr);
  EXPECT_EQ(newIOrvWithChannelsMapping(nullptr, nullptr), nullptr);
  EXPECT_EQ(listed(), 0);
}

TEST_F(FrameSharing, RewrittenFileIsLoadedAsASecondEntry) {
  ScratchDirectory scratch;
  const std::string copy = scratch.file("frame.orv");
  std::filesystem::copy_file(kFrameA, copy);
  IOrv* before = newIOrv(copy.c_str());
  ASSERT_NE(before, nullptr);
  std::filesystem::last_write_time(copy, std::filesystem::last_write_time(copy) + std::chrono::seconds(3));
  IOrv* after = newIOrv(copy.c_str());
  ASSERT_NE(after, nullptr);
  EXPECT_NE(before, after);
  EXPECT_EQ(listed(), 2);
  EXPECT_EQ(newIOrv(copy.c_str()), after);
}

class PluginImport : public LoaderStateTest {
 protected:
  std::string cacheFile(const char* name) {
    const std::string path = scratch.file(name);
    std::ofstream(path) << "density 0\n";
    return path;
  }
  ScratchDirectory scratch;
};

TEST_F(PluginImport, UnboundPluginOrNoMappingsAreRefused) {
  const std::string vdb = cacheFile("a.vdb");
  CorvaneFrameData frame;
  EXPECT_EQ(ImportFrameThroughPlugin(&frame, vdb.c_str(), "2,density;", -1, false), 2);
  EXPECT_EQ(newIOrv(vdb.c_str()), nullptr);
  EXPECT_EQ(ImportFrameThroughPlugin(&frame, scratch.file("a.txt").c_str(), "2,d;", -1, false), 3);

  ASSERT_EQ(initalizeOrvaLoader(TestPluginFolder(), "fixed", 0), 3);
  LogCapture log;
  EXPECT_EQ(ImportFrameThroughPlugin(&frame, vdb.c_str(), "", -1, false), 9);
  EXPECT_TRUE(log.contains("Trying to import VDB files with no mappings specified!\n"));
  const std::string f3d = cacheFile("a.f3d");
  EXPECT_EQ(ImportFrameThroughPlugin(&frame, f3d.c_str(), nullptr, -1, false), 9);
  EXPECT_TRUE(log.contains("Trying to import F3D files with no mappings specified!\n"));
  EXPECT_EQ(PluginCalls().find("Import"), std::string::npos);
  // The plug-in's own failure code comes back unchanged.
  EXPECT_EQ(ImportFrameThroughPlugin(&frame, scratch.file("absent.vdb").c_str(), "2,x;", -1, false), 3);
}

TEST_F(PluginImport, ArgumentsReachThePluginParsed) {
  ASSERT_EQ(initalizeOrvaLoader(TestPluginFolder(), "fixed", 0), 3);
  const std::string vdb = cacheFile("a.vdb");
  const std::string f3d = cacheFile("a.f3d");
  ClearPluginCalls();
  IOrv* frame = newIOrvWithChannelsMappingMaxVox(vdb.c_str(), "2,density;x,y", 500, true);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(PluginCalls(), "openvdbio ImportFrameVDB mode=1 max=500 2,density;0,y;;");
  delete frame;
  ClearPluginCalls();
  IOrv* field = newIOrvWithChannelsMappingMaxVox(f3d.c_str(), "1,t;", 500, false);
  ASSERT_NE(field, nullptr);
  EXPECT_EQ(PluginCalls(), "field3dio ImportFrameF3D mode=0 1,t;;");
  delete field;
}

TEST_F(PluginImport, PartialVelocityIsDroppedAndOneIntegerStreamGiven) {
  ASSERT_EQ(initalizeOrvaLoader(TestPluginFolder(), "fixed", 0), 3);
  const std::string vdb = cacheFile("a.vdb");
  IOrv* partial = newIOrvWithChannelsMapping(vdb.c_str(), "4,a;5,b;2,c;");
  ASSERT_NE(partial, nullptr);
  EXPECT_EQ(partial->hasChannel(4), 0);
  EXPECT_EQ(partial->hasChannel(5), 0);
  EXPECT_EQ(partial->getChannel(5), nullptr);
  ASSERT_EQ(partial->hasChannel(2), 1);
  EXPECT_EQ(partial->getChannel(2)[0], 2.0f);
  EXPECT_EQ(data(partial)->compressedLength, 1);

  IOrv* full = newIOrvWithChannelsMapping(vdb.c_str(), "4,a;5,b;6,c;");
  ASSERT_NE(full, nullptr);
  int size[3];
  full->getGridSize(size);
  EXPECT_EQ(size[0], 3);
  for (int id = 4; id <= 6; ++id) {
    ASSERT_EQ(full->hasChannel(id), 1);
    EXPECT_EQ(full->getChannel(id)[2], static_cast<float>(id - 4));
  }
  // Speed is derived from the imported velocity.
  ASSERT_NE(full->getChannel(3), nullptr);
  EXPECT_FLOAT_EQ(full->getChannel(3)[0], std::sqrt(0.0f + 1.0f + 4.0f));
}

using LoaderTeardown = LoaderStateTest;

TEST_F(LoaderTeardown, ListedFramesGoLastToFirstThenFieldThreeDFirst) {
  ASSERT_EQ(initalizeOrvaLoader(TestPluginFolder(), "fixed", 0), 3);
  IOrv* a = newIOrv(kFrameA.c_str());
  IOrv* b = newIOrv(kFrameB.c_str());
  IOrv* c = newIOrv(kFrameC.c_str());
  ASSERT_TRUE(a && b && c);
  newIOrv(kFrameB.c_str());
  char expected[3][128];
  std::snprintf(expected[0], 128, "Corvane cache file not released %d ref:1\n", data(c)->frameNumber);
  std::snprintf(expected[1], 128, "Corvane cache file not released %d ref:2\n", data(b)->frameNumber);
  std::snprintf(expected[2], 128, "Corvane cache file not released %d ref:1\n", data(a)->frameNumber);
  ClearPluginCalls();
  {
    LogCapture log;
    ReleaseAllListedFrames();
    CorvanePlugins::UnloadPlugins();
    ASSERT_EQ(log.lines().size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(log.lines()[i], expected[i]);
  }
  EXPECT_EQ(listed(), 0);
  EXPECT_EQ(PluginCalls(), "field3dio unloaded;openvdbio unloaded;");
  EXPECT_EQ(CorvanePlugins::BoundPlugin(CorvanePlugins::Plugin::Field3D), nullptr);
}

}  // namespace
