// openvdbio.so called directly through its entry points, as the loader calls it.
#include <gtest/gtest.h>
#include <openvdb/tools/Interpolation.h>

#include <tbb/task_arena.h>
#include <tbb/task_scheduler_observer.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/conversion/ScratchDirectory.h"
#include "tests/host/PluginModule.h"
#include "tests/host/VdbTestFiles.h"
#include "tests/host/VoxelWorldCheck.h"
#include "tests/support/ScopedDecodeCap.h"
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

TEST_F(OpenVdbPlugin, ReportsScalarGridsAndVectorComponentsOfBothPrecisionsOnly) {
  openvdb::GridPtrVec grids;
  grids.push_back(PatternFloatGrid("density", {0, 0, 0}, {1, 1, 1}));
  grids.push_back(openvdb::Vec3SGrid::create());
  grids.push_back(openvdb::Int32Grid::create());
  grids.push_back(openvdb::BoolGrid::create());
  grids.push_back(openvdb::MaskGrid::create());
  grids.push_back(openvdb::DoubleGrid::create());
  grids.push_back(openvdb::Int64Grid::create());
  grids.push_back(openvdb::Vec3IGrid::create());
  grids.push_back(PatternFloatGrid("", {0, 0, 0}, {0, 0, 0}));
  grids.push_back(PatternFloatGrid("a;b", {0, 0, 0}, {0, 0, 0}));
  grids.push_back(openvdb::Vec3DGrid::create());
  grids.push_back(PatternFloatGrid("density", {0, 0, 0}, {0, 0, 0}));
  const char* const names[] = {"vel", "labels", "inside", "mask", "heat", "ids", "cells"};
  for (size_t g = 0; g < 7; ++g) grids[g + 1]->setName(names[g]);
  grids[10]->setName("rest");
  const std::string path = scratch.file("grids.vdb");
  WriteVdb(path, grids);
  int code = -1;
  EXPECT_EQ(reported(path, &code), (Reported{{"density", 0}, {"vel.x", 1}, {"vel.y", 1}, {"vel.z", 1}, {"heat", 0},
                                             {"rest.x", 1}, {"rest.y", 1}, {"rest.z", 1}}));
  EXPECT_EQ(code, 0);
  CorvaneFrameData frame;
  EXPECT_EQ(import(frame, path, "1,labels;2,inside;3,mask;10,ids;"), 5);
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

// Layouts of caches written by other tools. The first grid lays the frame out; every channel is
// checked at the centres of that grid's active voxels, in world space, against the voxel itself
// (grids on the frame's voxels) or OpenVDB's own sampler at that world point.
enum class Expect { Voxel, Box, Staggered };

struct ChannelCheck {
  int channel;
  const char* grid;
  int component;  // -1 scalar
  Expect expect;
};

struct LayoutCase {
  const char* name;
  openvdb::GridPtrVec grids;
  std::vector<ChannelCheck> channels;
};

openvdb::math::Transform::Ptr Placed(double voxel, const openvdb::Vec3d& offset, double degreesAboutZ = 0.0) {
  openvdb::math::Transform::Ptr transform = openvdb::math::Transform::createLinearTransform(voxel);
  if (degreesAboutZ != 0.0) transform->postRotate(degreesAboutZ * M_PI / 180.0, openvdb::math::Z_AXIS);
  transform->postTranslate(offset);
  return transform;
}

template <typename GridT, typename ValueOf>
openvdb::GridBase::Ptr Grid(const char* name, openvdb::math::Transform::Ptr transform, const openvdb::Coord& low,
                            const openvdb::Coord& high, ValueOf value) {
  typename GridT::Ptr grid = FilledGrid<GridT>(name, low, high, value);
  grid->setTransform(transform);
  return grid;
}

std::vector<LayoutCase> layoutCases() {
  using openvdb::Vec3d;
  using openvdb::Vec3s;
  auto smooth = [](int i, int j, int k) { return static_cast<float>(0.5 + 0.01 * i - 0.02 * j + 0.03 * k * k); };
  auto swirl = [](int i, int j, int k) { return Vec3s(0.5f * i + 0.01f * j * j, std::sin(0.7f * k), 0.1f * i * j); };
  std::vector<LayoutCase> cases;

  // Pyro: density and temperature (stored as half) at 0.1, vel at 0.2 on an offset lattice.
  LayoutCase pyro{"PyroVelocityAtTwiceTheVoxelSize", {}, {}};
  pyro.grids.push_back(Grid<openvdb::FloatGrid>("density", Placed(0.1, Vec3d(0)), {0, 0, 0}, {23, 19, 15}, smooth));
  pyro.grids.back()->setGridClass(openvdb::GRID_FOG_VOLUME);
  pyro.grids.push_back(Grid<openvdb::FloatGrid>("temperature", Placed(0.1, Vec3d(0)), {4, 2, 0}, {27, 19, 17}, smooth));
  pyro.grids.back()->setSaveFloatAsHalf(true);
  pyro.grids.push_back(Grid<openvdb::Vec3SGrid>("vel", Placed(0.2, Vec3d(0.05, -0.1, 0.15)), {-2, -2, -2}, {14, 12, 10}, swirl));
  pyro.channels = {{2, "density", -1, Expect::Voxel}, {1, "temperature", -1, Expect::Voxel},
                   {4, "vel", 0, Expect::Box}, {5, "vel", 1, Expect::Box}, {6, "vel", 2, Expect::Box}};
  cases.push_back(pyro);

  // A gas solver's MAC velocity on the density's voxels, by grid class and by vector type.
  LayoutCase mac{"StaggeredVelocity", {}, {}};
  mac.grids.push_back(Grid<openvdb::FloatGrid>("density", Placed(0.25, Vec3d(-1, 2, 0.5)), {0, 0, 0}, {9, 7, 5}, smooth));
  mac.grids.push_back(Grid<openvdb::Vec3SGrid>("velocity", Placed(0.25, Vec3d(-1, 2, 0.5)), {0, 0, 0}, {10, 8, 6}, swirl));
  mac.grids.back()->setGridClass(openvdb::GRID_STAGGERED);
  mac.grids.push_back(Grid<openvdb::Vec3SGrid>("v_mac", Placed(0.25, Vec3d(-1, 2, 0.5)), {1, 1, 1}, {10, 8, 6}, swirl));
  mac.grids.back()->insertMeta(openvdb::GridBase::META_VECTOR_TYPE, openvdb::StringMetadata("staggered"));
  mac.channels = {{2, "density", -1, Expect::Voxel}, {4, "velocity", 0, Expect::Staggered},
                  {5, "velocity", 1, Expect::Staggered}, {6, "velocity", 2, Expect::Staggered},
                  {7, "v_mac", 0, Expect::Staggered}, {9, "v_mac", 2, Expect::Staggered}};
  cases.push_back(mac);

  // Double precision, and a velocity rotated against the density.
  LayoutCase doubles{"DoubleGridsAndARotatedVelocity", {}, {}};
  doubles.grids.push_back(Grid<openvdb::DoubleGrid>("density", Placed(0.5, Vec3d(0.3, 0, -2)), {-3, -2, 1}, {6, 4, 5},
                                                    [](int i, int j, int k) { return 1.0 / 3.0 + i - 1e-9 * j + k; }));
  doubles.grids.push_back(Grid<openvdb::Vec3DGrid>("vel", Placed(0.7, Vec3d(0.3, -0.2, 0.1), 30.0), {-8, -8, -2}, {10, 8, 10},
                                                   [](int i, int j, int k) { return Vec3d(i + 0.1 * j, 1.0 / (3 + k), j * k); }));
  doubles.channels = {{2, "density", -1, Expect::Voxel}, {4, "vel", 0, Expect::Box}, {5, "vel", 1, Expect::Box},
                      {6, "vel", 2, Expect::Box}};
  cases.push_back(doubles);

  // Far from the origin in index and world space (values a float transform holds exactly), with a
  // temperature on another lattice and one in a camera frustum.
  LayoutCase far{"FarFromTheOriginAndAFrustum", {}, {}};
  const openvdb::Coord corner(1048580, -1048600, 524290);
  far.grids.push_back(Grid<openvdb::FloatGrid>("density", Placed(0.5, Vec3d(1000.25, -2000.5, 500)), corner,
                                               corner.offsetBy(9, 7, 5), smooth));
  const openvdb::Vec3d world = far.grids[0]->constTransform().indexToWorld(corner);
  const openvdb::Coord hot = openvdb::Coord::floor(world) - openvdb::Coord(2);
  far.grids.push_back(Grid<openvdb::FloatGrid>("temperature", Placed(1.0, Vec3d(0.5, 0.25, 0)), hot, hot.offsetBy(9, 8, 7),
                                               [](int i, int j, int k) { return static_cast<float>(i % 7 + 0.25 * (j % 5) - k % 3); }));
  openvdb::math::Transform::Ptr frustum = openvdb::math::Transform::createFrustumTransform(
      openvdb::BBoxd(Vec3d(0), Vec3d(15, 15, 15)), 0.5, 4.0, 0.5);
  frustum->postTranslate(world - Vec3d(2, 2, 1));
  far.grids.push_back(Grid<openvdb::FloatGrid>("heat", frustum, {0, 0, 0}, {15, 15, 15}, smooth));
  far.channels = {{2, "density", -1, Expect::Voxel}, {1, "temperature", -1, Expect::Box}, {10, "heat", -1, Expect::Box}};
  cases.push_back(far);
  return cases;
}

// OpenVDB's own value of `grid` at a world point, or at index voxel ijk for Expect::Voxel.
template <typename GridT>
double ExpectedOf(const GridT& grid, Expect expect, int component, const openvdb::Coord& ijk, const openvdb::Vec3d& world) {
  using namespace openvdb::tools;
  typename GridT::ValueType value = grid.tree().getValue(ijk);
  if (expect == Expect::Box) value = GridSampler<GridT, BoxSampler>(grid).wsSample(world);
  if constexpr (openvdb::VecTraits<typename GridT::ValueType>::IsVec) {
    if (expect == Expect::Staggered) value = GridSampler<GridT, StaggeredBoxSampler>(grid).wsSample(world);
    return value[component];
  } else {
    return value;
  }
}

double ExpectedAt(const openvdb::GridBase& grid, const ChannelCheck& check, const openvdb::Coord& ijk,
                  const openvdb::Vec3d& world) {
  if (const auto* g = dynamic_cast<const openvdb::FloatGrid*>(&grid)) return ExpectedOf(*g, check.expect, check.component, ijk, world);
  if (const auto* g = dynamic_cast<const openvdb::DoubleGrid*>(&grid)) return ExpectedOf(*g, check.expect, check.component, ijk, world);
  if (const auto* g = dynamic_cast<const openvdb::Vec3SGrid*>(&grid)) return ExpectedOf(*g, check.expect, check.component, ijk, world);
  return ExpectedOf(dynamic_cast<const openvdb::Vec3DGrid&>(grid), check.expect, check.component, ijk, world);
}

TEST_F(OpenVdbPlugin, ThirdPartyLayoutsHoldOpenVdbsOwnValuesInWorldSpace) {
  for (const LayoutCase& layout : layoutCases()) {
    SCOPED_TRACE(layout.name);
    const std::string path = scratch.file(std::string(layout.name) + ".vdb");
    WriteVdb(path, layout.grids);
    openvdb::io::File file(path);  // the values as stored (half storage rounds them)
    file.open();
    std::string mappings;
    for (const ChannelCheck& check : layout.channels) {
      const char* suffix = check.component < 0 ? "" : (check.component == 0 ? ".x" : (check.component == 1 ? ".y" : ".z"));
      mappings += std::to_string(check.channel) + "," + check.grid + suffix + ";";
    }
    ThreadPerTaskManager manager;
    ASSERT_EQ(plugin.setManager(&manager), 0);
    CorvaneFrameData frame;
    const int result = import(frame, path, mappings.c_str());
    plugin.releaseManager();
    ASSERT_EQ(result, 0);

    const openvdb::GridBase::Ptr first = file.readGrid(layout.grids[0]->getName());
    const openvdb::CoordBBox box = first->evalActiveVoxelBoundingBox();
    for (const ChannelCheck& check : layout.channels) {
      SCOPED_TRACE(check.channel);
      const openvdb::GridBase::Ptr grid = file.readGrid(check.grid);
      auto world = [&](long long i, long long j, long long k) {
        const openvdb::Vec3d p = first->indexToWorld(openvdb::Coord(i, j, k));
        return std::array<double, 3>{p[0], p[1], p[2]};
      };
      ExpectVoxelsInFrame(
          frame, check.channel, {box.min().x(), box.min().y(), box.min().z(), box.max().x(), box.max().y(), box.max().z()},
          world,
          [&](long long i, long long j, long long k) {
            const std::array<double, 3> p = world(i, j, k);
            return static_cast<float>(ExpectedAt(*grid, check, openvdb::Coord(i, j, k), openvdb::Vec3d(p[0], p[1], p[2])));
          },
          check.expect != Expect::Voxel);
    }

    // With memory for the channels alone, sampling goes through the tree: the same values, bit
    // for bit, on the calling thread.
    CorvaneFrameData tight;
    {
      ScopedDecodeCap cap(orv::DecodeBudget::Process().used() + 4 * frame.voxelCount() * static_cast<long long>(layout.channels.size()));
      ASSERT_EQ(import(tight, path, mappings.c_str()), 0);
    }
    for (const ChannelCheck& check : layout.channels) {
      EXPECT_EQ(std::memcmp(frame.getChannel(check.channel), tight.getChannel(check.channel), 4 * frame.voxelCount()), 0)
          << "channel " << check.channel;
    }
  }
}

TEST_F(OpenVdbPlugin, AFrameNeedsOneGridWithALinearTransform) {
  openvdb::GridPtrVec grids;
  grids.push_back(PatternFloatGrid("density", {0, 0, 0}, {1, 1, 1}));
  grids[0]->setTransform(openvdb::math::Transform::createFrustumTransform(openvdb::BBoxd({0, 0, 0}, {4, 4, 4}), 0.5, 2.0));
  grids.push_back(PatternFloatGrid("temperature", {0, 0, 0}, {2, 1, 1}));
  const std::string path = scratch.file("a.vdb");
  WriteVdb(path, grids);
  CorvaneFrameData frame;
  EXPECT_EQ(import(frame, path, "2,density;"), 6);
  // The first grid that can lay the frame out does; the frustum grid is sampled on it.
  ASSERT_EQ(import(frame, path, "2,density;1,temperature;"), 0);
  EXPECT_EQ(frame.channelMask, (1u << 1) | (1u << 2));
  EXPECT_EQ(frame.gridSize[0], 3);
}

// Two blobs 4000 voxels apart span 6.4e10 cells: the whole frame is refused under the decode cap
// before anything is allocated, and a preview visits the stored leaves and tiles only.
TEST_F(OpenVdbPlugin, SparseBlobsFarApartAreRefusedWholeAndPreviewedByBlocks) {
  openvdb::FloatGrid::Ptr blobs = FilledGrid<openvdb::FloatGrid>("density", {0, 0, 0}, {4, 4, 4}, [](int i, int j, int k) {
    return 1.0f + i + 0.5f * j - 0.25f * k;
  }, 0.125f);
  auto accessor = blobs->getAccessor();
  for (int i = 3996; i <= 3999; ++i) accessor.setValue(openvdb::Coord(i, 3999, 3999), 2.0f);
  blobs->tree().addTile(2, openvdb::Coord(1024, 0, 0), 3.0f, true);  // an active 128^3 tile
  blobs->setTransform(openvdb::math::Transform::createLinearTransform(0.1));
  const std::string path = scratch.file("blobs.vdb");
  WriteVdb(path, {blobs});

  CorvaneFrameData frame;
  {
    PluginLog log;
    ScopedDecodeCap cap(1ll << 30);
    EXPECT_EQ(import(frame, path, "2,density;"), 4);
    EXPECT_NE(log.text().find("index box (0, 0, 0)..(3999, 3999, 3999), 4000 x 4000 x 4000 cells, and needs "
                              "256000000000 bytes for 1 channels"), std::string::npos) << log.text();
  }
  ASSERT_EQ(import(frame, path, "2,density;", 1000000), 0);
  const int stride = 40;  // the smallest with at most 10^6 cells
  ASSERT_EQ(frame.gridSize[0], 4000 / stride);
  const float* values = frame.getChannel(2);
  // Every cell holds its block's mean, found in world space at the block's centre.
  for (const openvdb::Coord& voxel : {openvdb::Coord(2, 2, 2), openvdb::Coord(3998, 3999, 3999),
                                      openvdb::Coord(1100, 100, 50), openvdb::Coord(2000, 2000, 2000)}) {
    const openvdb::Coord block(voxel.x() / stride * stride, voxel.y() / stride * stride, voxel.z() / stride * stride);
    double sum = 0;
    for (int k = 0; k < stride; ++k) {
      for (int j = 0; j < stride; ++j) {
        for (int i = 0; i < stride; ++i) sum += accessor.getValue(block.offsetBy(i, j, k));
      }
    }
    const openvdb::Vec3d centre = blobs->indexToWorld(openvdb::Vec3d(block.asVec3d()) + openvdb::Vec3d((stride - 1) / 2.0));
    const std::array<double, 3> g = FrameGridOf(frame, {centre[0], centre[1], centre[2]});
    const long long cell[3] = {std::llround(g[0]), std::llround(g[1]), std::llround(g[2])};
    for (int a = 0; a < 3; ++a) ASSERT_NEAR(g[a], static_cast<double>(cell[a]), 1e-3);
    EXPECT_FLOAT_EQ(values[cell[0] + 100 * (cell[1] + 100 * cell[2])], static_cast<float>(sum / (stride * stride * stride)))
        << voxel;
  }
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
  // Written in an arena of its own: workers still leaving after the write would otherwise be
  // reported as entering this thread's arena once the observer starts.
  tbb::task_arena writing;
  writing.execute([&] { WriteDensityVdb(path, {0, 0, 0}, {127, 127, 63}); });
  WorkersJoiningThisThread observer;
  CorvaneFrameData frame;
  for (int repeat = 0; repeat < 3; ++repeat) ASSERT_EQ(import(frame, path, "2,density;"), 0);
  EXPECT_EQ(observer.workers.load(), 0);
}

}  // namespace
