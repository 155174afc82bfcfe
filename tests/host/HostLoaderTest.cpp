// A host's view of liborvloader.so: dlopen, exports resolved by mangled name, frames used only
// through IOrv. Converted reference frames and files with third-party grid names come back through
// the real openvdbio plug-in.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/platform/Platform.h"
#include "tests/conversion/ConverterProcess.h"
#include "tests/conversion/ScratchDirectory.h"
#include "tests/host/HostPluginFolder.h"
#include "tests/host/VdbTestFiles.h"
#include "tools/testing/ThreadPerTaskManager.h"

namespace {

// The channels the converter writes: smoke, temperature, fuel, velocity and colour.
constexpr int kConvertedChannels[] = {1, 2, 4, 5, 6, 7, 8, 9, 10};

class HostLoader : public HostPluginFolder {
 protected:
  static void SetUpTestSuite() { openvdb::initialize(); }

  std::string convert(const std::string& orv, const std::string& vdb) {
    const ConverterRun run = RunConverter({"-srcfile", orv, "-dstfile", vdb, "-silent"}, scratch.path().string());
    EXPECT_EQ(run.status, 0) << run.output << run.errors;
    return vdb;
  }
};

void expectSameFrame(IOrv& expected, IOrv& actual) {
  int size[3], readSize[3];
  expected.getGridSize(size);
  actual.getGridSize(readSize);
  ASSERT_EQ(std::vector<int>(size, size + 3), std::vector<int>(readSize, readSize + 3));
  float transform[12], readTransform[12];
  expected.getTransform(transform);
  actual.getTransform(readTransform);
  for (int e = 0; e < 12; ++e) {
    EXPECT_NEAR(readTransform[e], transform[e], 1e-6f * (1.0f + std::fabs(transform[e]))) << e;
  }
  const long long cells = static_cast<long long>(size[0]) * size[1] * size[2];
  bool anyChannel = false;
  for (int id : kConvertedChannels) {
    const bool triple = id >= 4 && id <= 9;
    const int first = id <= 6 ? 4 : 7;
    bool written = expected.hasChannel(id) != 0;
    if (triple) {
      for (int c = first; c < first + 3; ++c) written = written && expected.hasChannel(c);
    }
    EXPECT_EQ(actual.hasChannel(id) != 0, written) << "channel " << id;
    if (!written) continue;
    anyChannel = true;
    const float* values = expected.getChannel(id);
    const float* read = actual.getChannel(id);
    ASSERT_TRUE(values && read) << "channel " << id;
    EXPECT_EQ(std::memcmp(values, read, sizeof(float) * cells), 0) << "channel " << id;
  }
  EXPECT_TRUE(anyChannel);
}

TEST_F(HostLoader, VersionAndStringFunctionsThroughTheTable) {
  EXPECT_EQ(loader.version(), 0x31200u);
  int ids[] = {2, 1};
  const char* names[] = {"density", "temperature"};
  char text[64];
  EXPECT_EQ(loader.compose(text, sizeof text, ids, names, 2), 1);
  EXPECT_STREQ(text, "2,density;1,temperature;");
  int id = 0;
  char name[16];
  EXPECT_EQ(loader.decompose(&id, name, sizeof name, text, 1), 1);
  EXPECT_EQ(id, 1);
  EXPECT_EQ(loader.decompose(&id, name, sizeof name, text, 2), -1);
}

TEST_F(HostLoader, WithoutSuffixThePluginsAreFoundBesideTheLibrary) {
#ifdef __SANITIZE_ADDRESS__
  // The sanitizer's dlopen interceptor becomes the caller, so the library's run path is not used.
  GTEST_SKIP() << "library search through the caller's run path is not seen under AddressSanitizer";
#endif
  EXPECT_EQ(loader.initialize("/ignored;/folders", nullptr, 0), 3);
  loader.finalize();
}

TEST_F(HostLoader, ConvertedReferenceFramesReadBackUnchanged) {
  ASSERT_EQ(initialise(), 3);
  for (const char* reference : {"v5_zoned_fc03", "v4_sgc3_zoned", "v6_colour18", "v6_particles"}) {
    SCOPED_TRACE(reference);
    const std::string orv = std::string(ORV_REFERENCE_DIR) + reference + ".orv";
    const std::string vdb = convert(orv, scratch.file(std::string(reference) + ".vdb"));
    IOrv* source = loader.open(orv.c_str());
    IOrv* frame = loader.open(vdb.c_str());
    ASSERT_NE(source, nullptr);
    ASSERT_NE(frame, nullptr);
    expectSameFrame(*source, *frame);
    EXPECT_EQ(frame->getParticleGroupCount(), 0);
    // Shared like any frame opened without a limit.
    EXPECT_EQ(loader.open(vdb.c_str()), frame);
    loader.release(frame);
    loader.release(frame);
    loader.release(source);
  }
  loader.finalize();
}

TEST_F(HostLoader, ThirdPartyNamesAreMappedByTheRules) {
  openvdb::GridPtrVec grids;
  grids.push_back(PatternFloatGrid("density", {-2, 0, 0}, {3, 2, 1}));
  grids.push_back(PatternFloatGrid("temperature", {0, 0, 0}, {3, 2, 1}, 1.0f));
  grids.push_back(PatternFloatGrid("fuel", {0, 0, 0}, {1, 1, 1}, 2.0f));
  openvdb::Vec3SGrid::Ptr velocity = openvdb::Vec3SGrid::create();
  velocity->setName("vel");
  velocity->tree().setValue(openvdb::Coord(3, 2, 1), openvdb::Vec3s(1, -2, 4));
  grids.push_back(velocity);
  openvdb::Vec3SGrid::Ptr unnamedRule = openvdb::Vec3SGrid::create();
  unnamedRule->setName("velocity");
  grids.push_back(unnamedRule);
  for (auto& grid : grids) grid->setTransform(openvdb::math::Transform::createLinearTransform(0.25));
  const std::string path = scratch.file("plume_0003.vdb");
  WriteVdb(path, grids);

  // Before initialisation no plug-in answers: the library's own list, and no frame.
  EXPECT_EQ(defaultMappings(path).rfind("1,Temperature_cvn;", 0), 0u);
  EXPECT_EQ(loader.open(path.c_str()), nullptr);

  ASSERT_EQ(initialise(), 3);
  EXPECT_EQ(defaultMappings(path), "2,density;1,temperature;10,fuel;4,vel.x;5,vel.y;6,vel.z;");
  char name[32];
  int flag = -1;
  EXPECT_EQ(loader.channelName(name, sizeof name, &flag, path.c_str(), 4), 1);
  EXPECT_STREQ(name, "vel.y");
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(loader.channelName(name, sizeof name, &flag, path.c_str(), 8), 1);
  EXPECT_STREQ(name, "velocity.z");
  EXPECT_EQ(loader.channelName(name, sizeof name, &flag, path.c_str(), 9), -1);

  IOrv* frame = loader.open(path.c_str());
  ASSERT_NE(frame, nullptr);
  int size[3];
  frame->getGridSize(size);
  EXPECT_EQ(std::vector<int>(size, size + 3), (std::vector<int>{6, 3, 2}));
  float transform[12];
  frame->getTransform(transform);
  EXPECT_FLOAT_EQ(transform[0], 4.0f);
  EXPECT_FLOAT_EQ(transform[9], 2.0f);  // index -2 is the first cell
  const float* density = frame->getChannel(2);
  const float* temperature = frame->getChannel(1);
  const float* fuel = frame->getChannel(10);
  const float* vz = frame->getChannel(6);
  ASSERT_TRUE(density && temperature && fuel && vz);
  for (int k = 0; k < 2; ++k) {
    for (int j = 0; j < 3; ++j) {
      for (int i = 0; i < 6; ++i) {
        const int x = i - 2;
        const long long cell = i + 6 * (j + 3 * k);
        EXPECT_EQ(density[cell], PatternValue(x, j, k));
        EXPECT_EQ(temperature[cell], x >= 0 ? PatternValue(x, j, k, 1.0f) : 0.0f);
        EXPECT_EQ(fuel[cell], x >= 0 && x <= 1 && j <= 1 ? PatternValue(x, j, k, 2.0f) : 0.0f);
        EXPECT_EQ(vz[cell], x == 3 && j == 2 && k == 1 ? 4.0f : 0.0f);
      }
    }
  }
  // Speed is derived from the three imported components.
  ASSERT_NE(frame->getChannel(3), nullptr);
  EXPECT_FLOAT_EQ(frame->getChannel(3)[5 + 6 * (2 + 3 * 1)], std::sqrt(21.0f));
  loader.release(frame);

  // A mapping naming only grids the file lacks, and an OpenVDB file named .f3d, give no frame.
  EXPECT_EQ(loader.openWithMappings(path.c_str(), "2,smoke;"), nullptr);
  const std::string f3d = scratch.file("plume.f3d");
  std::filesystem::copy_file(path, f3d);
  EXPECT_EQ(loader.channelName(name, sizeof name, &flag, f3d.c_str(), 0), -1);
  EXPECT_EQ(loader.openWithMappings(f3d.c_str(), "2,density;"), nullptr);
  loader.finalize();
}

TEST_F(HostLoader, LimitedAndHeaderOnlyFramesArePrivate) {
  const std::string path = scratch.file("cube.vdb");
  WriteDensityVdb(path, {0, 0, 0}, {7, 7, 7});
  ASSERT_EQ(initialise(), 3);
  IOrv* preview = loader.openMaxVox(path.c_str(), 64, false);
  ASSERT_NE(preview, nullptr);
  int size[3];
  preview->getGridSize(size);
  EXPECT_EQ(size[0], 4);
  IOrv* second = loader.openMaxVox(path.c_str(), 64, false);
  EXPECT_NE(second, preview);
  delete second;
  IOrv* header = loader.openWithMappingsMaxVox(path.c_str(), "2,density;", -1, true);
  ASSERT_NE(header, nullptr);
  header->getGridSize(size);
  EXPECT_EQ(size[2], 8);
  EXPECT_EQ(header->hasChannel(2), 1);
  EXPECT_EQ(header->getChannel(2), nullptr);
  delete header;
  delete preview;
  loader.finalize();
}

TEST_F(HostLoader, HostAndDefaultThreadManagersServeTheImports) {
  const std::string path = scratch.file("slab.vdb");
  WriteDensityVdb(path, {0, 0, 0}, {31, 31, 7});
  {
    ThreadPerTaskManager manager;
    ASSERT_EQ(initialise(&manager), 3);
    IOrv* frame = loader.open(path.c_str());
    ASSERT_NE(frame, nullptr);
    EXPECT_FALSE(manager.threads.empty());
    EXPECT_EQ(frame->getChannel(2)[31 + 32 * (31 + 32 * 7)], PatternValue(31, 31, 7));
    loader.release(frame);
    loader.finalize();
  }
  KUtils::ThreadManager* pool = loader.createManager();
  ASSERT_NE(pool, nullptr);
  ASSERT_EQ(initialise(pool), 3);
  IOrv* frame = loader.open(path.c_str());
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->getChannel(2)[5 + 32 * (6 + 32 * 7)], PatternValue(5, 6, 7));
  loader.release(frame);
  loader.finalize();
  loader.destroyManager(pool);
  loader.destroyManager(nullptr);
}

TEST(HostUnload, ListedFramesThenPluginsFieldThreeDFirst) {
  orv::platform::SetEnvironmentValue("ORV_TEST_PLUGIN_CALLS", "");
  {
    LoaderLibrary loader;
    ASSERT_TRUE(loader.complete()) << loader.error;
    ASSERT_EQ(loader.initialize(ORV_TEST_PLUGIN_DIR, "fixed", 0), 3);
    ASSERT_NE(loader.open(ORV_REFERENCE_DIR "v5_zoned_fc03.orv"), nullptr);
    ASSERT_NE(loader.open(ORV_REFERENCE_DIR "v6_colour18.orv"), nullptr);
    orv::platform::SetEnvironmentValue("ORV_TEST_PLUGIN_CALLS", "");
  }
  EXPECT_STREQ(std::getenv("ORV_TEST_PLUGIN_CALLS"), "field3dio unloaded;openvdbio unloaded;");
}

}  // namespace
