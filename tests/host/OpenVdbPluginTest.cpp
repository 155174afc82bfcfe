// openvdbio.so called directly through its entry points, as the loader calls it.
#include <gtest/gtest.h>

#include <tbb/task_scheduler_observer.h>

#include <atomic>
#include <cmath>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/conversion/ScratchDirectory.h"
#include "tests/host/PluginModule.h"
#include "tests/host/VdbTestFiles.h"
#include "tools/testing/ThreadPerTaskManager.h"

namespace {

class OpenVdbPlugin : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { openvdb::initialize(); }

  void SetUp() override {
    plugin.load(PluginFile("openvdbio"));
    importFrame = plugin.entry<CacheIO::ImportFrameVDBFunction>("ImportFrameVDB");
    ASSERT_TRUE(importFrame);
  }
  void TearDown() override { plugin.unload(); }

  // Imports `path` into `frame` with a mapping string.
  int import(CorvaneFrameData& frame, const std::string& path, const char* mappings,
             long long maxVoxels = -1, bool headerOnly = false) {
    return PluginModule::importWith(frame, mappings, headerOnly, [&](CacheIO::GridMapping* parsed, int count) {
      long long scratchValue = 0;
      return importFrame(path.c_str(), &frame, &scratchValue, headerOnly, parsed, count, maxVoxels);
    });
  }

  Reported reported(const std::string& path, int* result = nullptr) { return plugin.reported(path, result); }

  static openvdb::Vec3d toGrid(const CorvaneFrameData& frame, const openvdb::Vec3d& p) {
    const std::array<double, 3> g = FrameGridOf(frame, {p[0], p[1], p[2]});
    return openvdb::Vec3d(g[0], g[1], g[2]);
  }

  PluginModule plugin;
  CacheIO::ImportFrameVDBFunction importFrame = nullptr;
  ScratchDirectory scratch;
};

TEST_F(OpenVdbPlugin, ReportsFloatGridsAndVectorComponentsOnly) {
  openvdb::GridPtrVec grids;
  grids.push_back(PatternFloatGrid("density", {0, 0, 0}, {1, 1, 1}));
  openvdb::Vec3SGrid::Ptr velocity = openvdb::Vec3SGrid::create();
  velocity->setName("vel");
  grids.push_back(velocity);
  openvdb::Int32Grid::Ptr labels = openvdb::Int32Grid::create();
  labels->setName("labels");
  grids.push_back(labels);
  grids.push_back(PatternFloatGrid("", {0, 0, 0}, {0, 0, 0}));
  grids.push_back(PatternFloatGrid("a;b", {0, 0, 0}, {0, 0, 0}));
  openvdb::Vec3DGrid::Ptr rest = openvdb::Vec3DGrid::create();
  rest->setName("rest");
  grids.push_back(rest);
  grids.push_back(PatternFloatGrid("density", {0, 0, 0}, {0, 0, 0}));
  const std::string path = scratch.file("grids.vdb");
  WriteVdb(path, grids);
  int code = -1;
  EXPECT_EQ(reported(path, &code), (Reported{{"density", 0}, {"vel.x", 1}, {"vel.y", 1}, {"vel.z", 1},
                                             {"rest.x", 1}, {"rest.y", 1}, {"rest.z", 1}}));
  EXPECT_EQ(code, 0);
}

TEST_F(OpenVdbPlugin, UnreadableFilesReportNothingAndFailImports) {
  const std::string text = scratch.file("text.vdb");
  std::ofstream(text) << "not a grid file";
  int code = 0;
  EXPECT_TRUE(reported(text, &code).empty());
  EXPECT_NE(code, 0);
  EXPECT_TRUE(reported(scratch.file("absent.vdb"), &code).empty());
  EXPECT_NE(code, 0);
  CorvaneFrameData frame;
  EXPECT_EQ(import(frame, text, "2,density;"), 3);
  EXPECT_EQ(import(frame, scratch.file("absent.vdb"), "2,density;"), 3);
  EXPECT_EQ(importFrame(nullptr, &frame, nullptr, false, nullptr, 0, -1), 3);
  EXPECT_EQ(plugin.listGrids(text.c_str(), nullptr), 3);
}

TEST_F(OpenVdbPlugin, SparseGridsFillTheUnionOfTheirBoxes) {
  openvdb::GridPtrVec grids;
  grids.push_back(PatternFloatGrid("density", {2, 3, 4}, {5, 4, 6}, 0.0f, -1.0f));
  openvdb::Vec3SGrid::Ptr velocity = openvdb::Vec3SGrid::create();
  velocity->setName("vel");
  velocity->tree().setValue(openvdb::Coord(7, 3, 4), openvdb::Vec3s(1, 2, 3));
  grids.push_back(velocity);
  openvdb::math::Transform::Ptr xform = openvdb::math::Transform::createLinearTransform(0.5);
  xform->postTranslate(openvdb::Vec3d(1, 2, 3));
  for (auto& grid : grids) grid->setTransform(xform->copy());
  const std::string path = scratch.file("fire_0012.vdb");
  WriteVdb(path, grids);

  CorvaneFrameData frame;
  ASSERT_EQ(import(frame, path, "2,density;4,vel.x;5,vel.y;6,vel.z;"), 0);
  EXPECT_EQ(frame.gridSize[0], 6);  // x 2..7
  EXPECT_EQ(frame.gridSize[1], 2);  // y 3..4
  EXPECT_EQ(frame.gridSize[2], 3);  // z 4..6
  EXPECT_EQ(frame.channelMask, (1u << 2) | (1u << 4) | (1u << 5) | (1u << 6));
  EXPECT_EQ(frame.frameNumber, 12);
  const float* density = frame.getChannel(2);
  const float* vy = frame.getChannel(5);
  ASSERT_TRUE(density && vy);
  for (int k = 0; k < 3; ++k) {
    for (int j = 0; j < 2; ++j) {
      for (int i = 0; i < 6; ++i) {
        const long long cell = i + 6 * (j + 2 * k);
        const bool inside = i + 2 <= 5 && j + 3 <= 4;
        EXPECT_EQ(density[cell], inside ? PatternValue(i + 2, j + 3, k + 4) : -1.0f) << i << j << k;
        EXPECT_EQ(vy[cell], (i == 5 && j == 0 && k == 0) ? 2.0f : 0.0f);
      }
    }
  }
  EXPECT_EQ(frame.slots[2].rangeLow, -1.0f);
  EXPECT_EQ(frame.slots[2].rangeHigh, PatternValue(5, 4, 6));
  // World position of index voxel (3, 4, 5) lands on frame cell (1, 1, 1).
  const openvdb::Vec3d g = toGrid(frame, xform->indexToWorld(openvdb::Coord(3, 4, 5)));
  EXPECT_NEAR(g[0], 1.0, 1e-5);
  EXPECT_NEAR(g[1], 1.0, 1e-5);
  EXPECT_NEAR(g[2], 1.0, 1e-5);
}

TEST_F(OpenVdbPlugin, MappingsThatCannotBeServedAreSkippedOrRefused) {
  openvdb::GridPtrVec grids;
  grids.push_back(PatternFloatGrid("density", {0, 0, 0}, {1, 1, 1}));
  grids.push_back(PatternFloatGrid("heat", {0, 0, 0}, {1, 1, 1}, 0.5f));
  const std::string path = scratch.file("a.vdb");
  WriteVdb(path, grids);
  CorvaneFrameData frame;
  EXPECT_EQ(import(frame, path, "2,smoke;1,missing;"), 5);
  EXPECT_EQ(import(frame, path, ""), 5);
  // Packed colour, the mask marker and ids out of range are no grid channels; the first mapping
  // of a channel wins.
  ASSERT_EQ(import(frame, path, "18,density;31,density;-1,density;40,heat;1,heat;1,density;2,density;"), 0);
  EXPECT_EQ(frame.channelMask, (1u << 1) | (1u << 2));
  EXPECT_EQ(frame.getChannel(1)[0], 0.5f);
  EXPECT_EQ(frame.getChannel(2)[0], 0.0f);
}

TEST_F(OpenVdbPlugin, GridsWithDifferentTransformsAreRefused) {
  openvdb::GridPtrVec grids;
  grids.push_back(PatternFloatGrid("density", {0, 0, 0}, {1, 1, 1}));
  grids.push_back(PatternFloatGrid("temperature", {0, 0, 0}, {1, 1, 1}));
  grids[1]->setTransform(openvdb::math::Transform::createLinearTransform(2.0));
  const std::string path = scratch.file("a.vdb");
  WriteVdb(path, grids);
  CorvaneFrameData frame;
  EXPECT_EQ(import(frame, path, "2,density;1,temperature;"), 6);
  // Each alone is fine.
  EXPECT_EQ(import(frame, path, "1,temperature;"), 0);
  EXPECT_NEAR(frame.transform[0], 0.5f, 1e-7);
}

TEST_F(OpenVdbPlugin, HeaderOnlyGivesLayoutAndMaskWithoutValues) {
  const std::string path = scratch.file("a.vdb");
  WriteDensityVdb(path, {-3, 0, 1}, {4, 2, 1});
  CorvaneFrameData frame;
  ASSERT_EQ(import(frame, path, "2,density;", -1, true), 0);
  EXPECT_EQ(frame.gridSize[0], 8);
  EXPECT_EQ(frame.gridSize[1], 3);
  EXPECT_EQ(frame.gridSize[2], 1);
  EXPECT_EQ(frame.hasChannel(2), 1);
  EXPECT_FALSE(frame.slots[2].present);
  EXPECT_NEAR(frame.transform[9], 3.0f, 1e-6);  // index -3 is grid coordinate 0
}

TEST_F(OpenVdbPlugin, VoxelLimitDownsamplesBySmallestFittingStride) {
  const std::string path = scratch.file("a.vdb");
  WriteDensityVdb(path, {0, 0, 0}, {9, 9, 9});
  CorvaneFrameData frame;
  ASSERT_EQ(import(frame, path, "2,density;", 1000), 0);
  EXPECT_EQ(frame.gridSize[0], 10);
  ASSERT_EQ(import(frame, path, "2,density;", 999), 0);
  EXPECT_EQ(frame.gridSize[0], 5);  // stride 2: 125 cells
  const float* halves = frame.getChannel(2);
  ASSERT_NE(halves, nullptr);
  // Cell (1, 0, 2) is the mean of voxels x 2..3, y 0..1, z 4..5.
  EXPECT_FLOAT_EQ(halves[1 + 5 * (0 + 5 * 2)], PatternValue(2, 0, 4) + 0.5f + 50.0f + 5000.0f);
  // Its centre, index (2.5, 0.5, 4.5), is grid coordinate (1, 0, 2).
  openvdb::Vec3d g = toGrid(frame, openvdb::Vec3d(2.5, 0.5, 4.5));
  EXPECT_NEAR(g[0], 1.0, 1e-5);
  EXPECT_NEAR(g[2], 2.0, 1e-5);

  ASSERT_EQ(import(frame, path, "2,density;", 124), 0);
  EXPECT_EQ(frame.gridSize[0], 4);  // stride 3: 64 cells; the last block holds one voxel per axis
  EXPECT_FLOAT_EQ(frame.getChannel(2)[3 + 4 * (3 + 4 * 3)], PatternValue(9, 9, 9));
  ASSERT_EQ(import(frame, path, "2,density;", 1), 0);
  EXPECT_EQ(frame.gridSize[0], 1);
}

TEST_F(OpenVdbPlugin, CopiesRunOnTheHandedManager) {
  const std::string path = scratch.file("a.vdb");
  WriteDensityVdb(path, {0, 0, 0}, {15, 15, 15});
  ThreadPerTaskManager manager;
  ASSERT_EQ(plugin.setManager(&manager), 0);
  CorvaneFrameData frame;
  const int result = import(frame, path, "2,density;");
  plugin.releaseManager();
  ASSERT_EQ(result, 0);
  EXPECT_FALSE(manager.threads.empty());
  const float* values = frame.getChannel(2);
  for (int k = 0; k < 16; ++k) {
    for (int j = 0; j < 16; ++j) {
      for (int i = 0; i < 16; ++i) ASSERT_EQ(values[i + 16 * (j + 16 * k)], PatternValue(i, j, k));
    }
  }
  // Released: the next import runs on the calling thread.
  const size_t used = manager.threads.size();
  ASSERT_EQ(import(frame, path, "2,density;"), 0);
  EXPECT_EQ(manager.threads.size(), used);
}

// Counts TBB worker threads joining the calling thread's own arena.
struct WorkersJoiningThisThread : tbb::task_scheduler_observer {
  WorkersJoiningThisThread() { observe(true); }
  ~WorkersJoiningThisThread() override { observe(false); }
  void on_scheduler_entry(bool isWorker) override {
    if (isWorker) workers.fetch_add(1);
  }
  std::atomic<int> workers{0};
};

TEST_F(OpenVdbPlugin, WithoutAManagerOpenVdbWorksOnTheCallingThreadOnly) {
  const std::string path = scratch.file("slab.vdb");
  WriteDensityVdb(path, {0, 0, 0}, {127, 127, 63});
  WorkersJoiningThisThread observer;
  CorvaneFrameData frame;
  for (int repeat = 0; repeat < 3; ++repeat) ASSERT_EQ(import(frame, path, "2,density;"), 0);
  EXPECT_EQ(observer.workers.load(), 0);
}

}  // namespace
