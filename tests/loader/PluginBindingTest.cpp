// Plug-in file names, binding rules, and the initialisation and finalisation of the loader.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "orv/OrvLoader.h"
#include "tests/conversion/ScratchDirectory.h"
#include "tests/loader/LoaderTestSupport.h"
#include "tests/support/TestFiles.h"
#include "tools/testing/ThreadPerTaskManager.h"

namespace {

using CorvanePlugins::Plugin;
using CorvanePlugins::PluginFileName;

void touch(const std::string& path) { std::ofstream(path) << ""; }

std::string address(const void* pointer) {
  char text[32];
  std::snprintf(text, sizeof text, "%p", pointer);
  return text;
}

TEST(PluginFileNames, WithoutSuffixOrFoldersNoFileIsTested) {
  EXPECT_EQ(PluginFileName("openvdbio", "/nowhere;/else", nullptr), Module("openvdbio"));
  EXPECT_EQ(PluginFileName("field3dio", nullptr, "x"), Module("field3dio_x"));
}

TEST(PluginFileNames, FoldersAreTriedInOrderAndOnlyExistingFilesTaken) {
  ScratchDirectory a, b;
  const std::string first = a.path().string();
  const std::string second = b.path().string() + "/";
  const std::string list = first + ";" + second;
  EXPECT_EQ(PluginFileName("openvdbio", list.c_str(), "x"), "");
  touch(second + Module("openvdbio_x"));
  // A folder ending in a separator gets no second one.
  EXPECT_EQ(PluginFileName("openvdbio", list.c_str(), "x"), second + Module("openvdbio_x"));
  touch(first + Module("/openvdbio_x"));
  EXPECT_EQ(PluginFileName("openvdbio", list.c_str(), "x"), first + Module("/openvdbio_x"));
}

TEST(PluginFileNames, OneCharacterPiecesCountOnlyAtTheEnd) {
  ScratchDirectory scratch;
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(scratch.path());
  touch(Module("openvdbio_x"));
  const std::string skipped = PluginFileName("openvdbio", ".;", "x");
  const std::string searched = PluginFileName("openvdbio", "/nowhere;.", "x");
  std::filesystem::current_path(previous);
  EXPECT_EQ(skipped, "");
  EXPECT_EQ(searched, Module("./openvdbio_x"));
}

TEST(PluginFileNames, OverlongFolderListsStayBounded) {
  const std::string list(200000, 'a');
  EXPECT_EQ(PluginFileName("openvdbio", list.c_str(), "x"), "");
  const std::string longSuffix(5000, 's');
  EXPECT_EQ(PluginFileName("openvdbio", nullptr, longSuffix.c_str()).size(), 1023u);
}

using PluginBinding = LoaderStateTest;

TEST_F(PluginBinding, CompletePluginsBindAndInitialiseOnce) {
  EXPECT_EQ(initalizeOrvaLoader(TestPluginFolder(), "fixed", 7), 3);
  EXPECT_EQ(PluginCalls(), "field3dio Initialize;openvdbio Initialize;");
  // Already bound: counted again without a second attempt.
  EXPECT_EQ(initalizeOrvaLoader(TestPluginFolder(), "fixed", 8), 3);
  EXPECT_EQ(PluginCalls(), "field3dio Initialize;openvdbio Initialize;");
  ASSERT_NE(CorvanePlugins::BoundPlugin(Plugin::OpenVDB), nullptr);
  EXPECT_NE(CorvanePlugins::BoundPlugin(Plugin::OpenVDB)->exportFrame, nullptr);
}

TEST_F(PluginBinding, MissingExportFrameStillBinds) {
  EXPECT_EQ(initalizeOrvaLoader(TestPluginFolder(), "noexport", 0), 3);
  ASSERT_NE(CorvanePlugins::BoundPlugin(Plugin::OpenVDB), nullptr);
  EXPECT_EQ(CorvanePlugins::BoundPlugin(Plugin::OpenVDB)->exportFrame, nullptr);
}

TEST_F(PluginBinding, MissingGridListLeavesThePluginUnboundAndUninitialised) {
  EXPECT_EQ(initalizeOrvaLoader(TestPluginFolder(), "nogrids", 0), 0);
  EXPECT_EQ(CorvanePlugins::BoundPlugin(Plugin::Field3D), nullptr);
  EXPECT_EQ(CorvanePlugins::BoundPlugin(Plugin::OpenVDB), nullptr);
  EXPECT_EQ(PluginCalls(), "");
}

TEST_F(PluginBinding, FailedInitialiseStaysUnboundWithoutRetry) {
  EXPECT_EQ(initalizeOrvaLoader(TestPluginFolder(), "initfails", 0), 0);
  EXPECT_EQ(initalizeOrvaLoader(TestPluginFolder(), "initfails", 0), 0);
  EXPECT_EQ(PluginCalls(), "field3dio Initialize;openvdbio Initialize;");
  EXPECT_EQ(CorvanePlugins::BoundPlugin(Plugin::OpenVDB), nullptr);
}

TEST_F(PluginBinding, NoPluginFoundGivesAnEmptyMaskAndInstallsNoManager) {
  ThreadPerTaskManager manager;
  EXPECT_EQ(initalizeOrvaLoader("/nowhere", "fixed", 0, &manager), 0);
  EXPECT_EQ(CVNUtils::ThreadManagerStackDepth(), 0);
  EXPECT_EQ(initalizeOrvaLoader(TestPluginFolder(), "fixed", 0, nullptr), 3);
  EXPECT_EQ(CVNUtils::ThreadManagerStackDepth(), 0);
}

TEST_F(PluginBinding, ManagerIsPushedAndHandedOverInOrderThenReleased) {
  ThreadPerTaskManager manager;
  EXPECT_EQ(initalizeOrvaLoader(TestPluginFolder(), "fixed", 0, &manager), 3);
  EXPECT_EQ(CVNUtils::CurrentThreadManager(), &manager);
  const std::string handed = "SetThreadManager " + address(&manager);
  EXPECT_EQ(PluginCalls(), "field3dio Initialize;openvdbio Initialize;field3dio " + handed +
                               ";openvdbio " + handed + ";");
  ClearPluginCalls();
  finalizeOrvaLoader();
  EXPECT_EQ(CVNUtils::ThreadManagerStackDepth(), 0);
  EXPECT_EQ(PluginCalls(), "field3dio ReleaseThreadManager;openvdbio ReleaseThreadManager;");
  // The plug-ins stay bound after finalisation.
  EXPECT_EQ(initalizeOrvaLoader(TestPluginFolder(), "other", 0), 3);
}

TEST_F(PluginBinding, RefusedManagerGivesZeroButStaysPushed) {
  ThreadPerTaskManager manager;
  EXPECT_EQ(initalizeOrvaLoader(TestPluginFolder(), "refuses", 0, &manager), 0);
  EXPECT_EQ(CVNUtils::CurrentThreadManager(), &manager);
  finalizeOrvaLoader();
  EXPECT_EQ(CVNUtils::CurrentThreadManager(), nullptr);
}

TEST_F(PluginBinding, FinaliseWithoutInitialisationPopsWhatIsOnTop) {
  ThreadPerTaskManager a, b;
  finalizeOrvaLoader();  // nothing installed, nothing bound
  EXPECT_EQ(PluginCalls(), "");
  ASSERT_TRUE(CVNUtils::PushThreadManager(&a));
  EXPECT_EQ(initalizeOrvaLoader(TestPluginFolder(), "fixed", 0, &b), 3);
  finalizeOrvaLoader();
  EXPECT_EQ(CVNUtils::CurrentThreadManager(), &a);
  finalizeOrvaLoader();
  EXPECT_EQ(CVNUtils::CurrentThreadManager(), nullptr);
}

TEST_F(PluginBinding, OnlyOnePluginPresentSetsOnlyItsBit) {
  ScratchDirectory scratch;
  std::filesystem::copy_file(std::string(TestPluginFolder()) + Module("/openvdbio_fixed"),
                             scratch.file(Module("openvdbio_solo")));
  ThreadPerTaskManager manager;
  EXPECT_EQ(initalizeOrvaLoader(scratch.path().string().c_str(), "solo", 0, &manager), 2);
  EXPECT_EQ(PluginCalls(), "openvdbio Initialize;openvdbio SetThreadManager " + address(&manager) + ";");
}

}  // namespace

// Exceptions thrown by a plug-in stop at the exported function that called it: a frame open
// answers null, a mapping function an empty string, each with a '#' line saying why.
TEST_F(LoaderStateTest, ExceptionsStopAtTheExportedFunctions) {
  ASSERT_EQ(initalizeOrvaLoader(TestPluginFolder(), "throws", 0), 3);
  const std::string path = ProcessTempPath("throwing.vdb");
  std::FILE* file = std::fopen(path.c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fputs("density 0\n", file);
  std::fclose(file);
  LogCapture log;
  EXPECT_EQ(newIOrvWithChannelsMapping(path.c_str(), "2,density;"), nullptr);
  EXPECT_TRUE(log.contains("#newIOrvWithChannelsMapping: out of memory\n"));
  char mappings[64] = "unchanged";
  EXPECT_EQ(orvGenerateDefaultChannelMappings(mappings, sizeof mappings, path.c_str()), 0);
  EXPECT_STREQ(mappings, "");
  EXPECT_TRUE(log.contains("#orvGenerateDefaultChannelMappings: grid list failed\n"));
  EXPECT_EQ(newIOrv(path.c_str()), nullptr);
  EXPECT_TRUE(log.contains("#newIOrv: grid list failed\n"));
}
