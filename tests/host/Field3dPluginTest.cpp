// field3dio.so called through its entry points, as the loader calls it, on Field3D files of every
// kind written by the project's own writer in both containers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "plugins/field3dio/Field3dFile.h"
#include "plugins/field3dio/Field3dFrameImport.h"
#include "tests/conversion/ScratchDirectory.h"
#include "tests/host/PluginModule.h"
#include "tests/host/VoxelWorldCheck.h"
#include "tests/support/ScopedDecodeCap.h"
#include "tests/support/TestFiles.h"
#include "tools/field3d/Field3dTestFile.h"
#include "tools/testing/ThreadPerTaskManager.h"

namespace {

using namespace orv::field3d;

// Values small enough to stay exact in half, different for every voxel and component.
double smallPattern(int c, long long i, long long j, long long k) { return 0.5 * i - 0.25 * j + 2.0 * k + 8.0 * c; }
double widePattern(int c, long long i, long long j, long long k) { return i + 100.0 * j + 10000.0 * k + c / 3.0; }

TestMapping rotatedMapping() {
  // 30 degrees about z, non-uniform scale, moved.
  const double sixthOfPi = std::acos(-1.0) / 6;
  const double c = std::cos(sixthOfPi), s = std::sin(sixthOfPi);
  TestMapping mapping;
  mapping.samples.push_back({0.0f, {{2 * c, 2 * s, 0, 0, -3 * s, 3 * c, 0, 0, 0, 0, 1.5, 0, 5, -6, 7.5, 1}}});
  return mapping;
}

// Two samples around time 0: the static transform is their mean.
TestMapping twoSampleMapping() {
  TestMapping mapping = ScaledMapping({1.0, 1.0, 1.0}, {0.0, 0.0, 0.0});
  mapping.samples = {{-1.0f, {{2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1}}},
                     {1.0f, {{2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 4, -2, 6, 1}}}};
  return mapping;
}

TestLayer layer(const char* name, LayerKind kind, ValueType type, int components, std::array<long long, 6> extents,
                std::array<long long, 6> window, double (*value)(int, long long, long long, long long)) {
  TestLayer out;
  out.name = name;
  out.kind = kind;
  out.type = type;
  out.components = components;
  out.extents = extents;
  out.window = window;
  out.value = value;
  return out;
}

struct KindCase {
  const char* name;
  TestPartition partition;
};

std::vector<KindCase> kindCases() {
  std::vector<KindCase> cases;
  auto add = [&](const char* name, TestMapping mapping, TestLayer layer) {
    cases.push_back({name, TestPartition{"field.0", mapping, {layer}}});
  };
  add("DenseHalfWindowOffsetAndNegative", rotatedMapping(),
      layer("h", LayerKind::Dense, ValueType::Half, 1, {0, 0, 0, 9, 7, 5}, {-3, -2, 1, 6, 4, 5}, smallPattern));
  TestMapping null;
  null.kind = MappingKind::Null;
  add("DenseDoubleVectorNullMapping", null,
      layer("vd", LayerKind::Dense, ValueType::Double, 3, {-4, -4, -2, 3, 3, 1}, {-6, -3, -2, 1, 2, 3}, widePattern));
  add("DenseOneVoxelIdentityMapping", TestMapping(),
      layer("one", LayerKind::Dense, ValueType::Float, 1, {0, 0, 0, 9, 9, 9}, {5, 5, 5, 5, 5, 5}, widePattern));
  TestLayer order1 = layer("s1", LayerKind::Sparse, ValueType::Float, 1, {0, 0, 0, 7, 7, 7}, {-5, -3, -2, 6, 4, 3}, widePattern);
  order1.blockOrder = 1;
  order1.stored = [](long long b) { return b % 3 != 1; };
  order1.emptyValue = [](int, long long b) { return -(1.0 + b); };
  add("SparseOrder1MixedBlocks", ScaledMapping({0.5, 0.5, 0.5}, {1, 2, 3}), order1);
  TestLayer order3 = layer("sv", LayerKind::Sparse, ValueType::Half, 3, {0, 0, 0, 15, 15, 15}, {-2, 0, 3, 20, 9, 8}, smallPattern);
  order3.blockOrder = 3;
  order3.stored = [](long long b) { return b % 2 == 0; };
  order3.emptyValue = [](int c, long long b) { return c == 0 ? b : (c == 1 ? -b : 0.5); };
  add("SparseHalfVectorOrder3TwoTimeSamples", twoSampleMapping(), order3);
  TestLayer empty = layer("none", LayerKind::Sparse, ValueType::Double, 1, {0, 0, 0, 31, 15, 7}, {-8, -8, -8, 39, 23, 7}, widePattern);
  empty.blockOrder = 5;
  empty.stored = [](long long) { return false; };
  empty.emptyValue = [](int, long long b) { return 0.5 * b - 3.0; };
  add("SparseDoubleOrder5NoStoredBlock", ScaledMapping({2, 2, 2}, {0, 0, 0}), empty);
  TestLayer order4 = layer("s4", LayerKind::Sparse, ValueType::Float, 1, {0, 0, 0, 31, 15, 3}, {-20, -1, 0, 40, 17, 3}, widePattern);
  order4.blockOrder = 4;
  add("SparseOrder4WindowPastExtents", rotatedMapping(), order4);
  add("MacFloatWindowOffset", ScaledMapping({0.1, 0.1, 0.1}, {1, 2, 3}),
      layer("vel", LayerKind::Mac, ValueType::Float, 3, {0, 0, 0, 3, 2, 1}, {-1, 0, 0, 2, 2, 1}, widePattern));
  add("MacHalf", TestMapping(),
      layer("vh", LayerKind::Mac, ValueType::Half, 3, {0, 0, 0, 3, 2, 1}, {0, 0, 0, 3, 2, 1}, smallPattern));
  return cases;
}

// The plug-in loaded, and files written in the container `container()` names.
class Field3dFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!CanWrite(container())) GTEST_SKIP() << "this build has no HDF5";
    plugin.load(PluginFile("field3dio"));
    importFrame = plugin.entry<CacheIO::ImportFrameF3DFunction>("ImportFrameF3D");
    ASSERT_TRUE(importFrame);
  }
  void TearDown() override { plugin.unload(); }

  virtual Container container() const = 0;

  std::string write(const TestFile& file, const std::string& name) {
    const std::string path = scratch.file(name + ".f3d");
    EXPECT_TRUE(WriteTestFile(file, container(), path));
    return path;
  }

  int import(CorvaneFrameData& frame, const std::string& path, const std::string& mappings, bool headerOnly = false) {
    return PluginModule::importWith(frame, mappings.c_str(), headerOnly, [&](CacheIO::GridMapping* parsed, int count) {
      return importFrame(path.c_str(), &frame, headerOnly, parsed, count);
    });
  }

  PluginModule plugin;
  CacheIO::ImportFrameF3DFunction importFrame = nullptr;
  ScratchDirectory scratch;
};

class Field3dKinds : public Field3dFixture, public ::testing::WithParamInterface<std::tuple<int, Container>> {
 protected:
  Container container() const override { return std::get<1>(GetParam()); }
};

class Field3dPlugin : public Field3dFixture, public ::testing::WithParamInterface<Container> {
 protected:
  Container container() const override { return GetParam(); }
};

// Every channel of every kind, imported alone, holds every voxel at its world position.
TEST_P(Field3dKinds, EveryVoxelReadsBackAtItsWorldPosition) {
  const KindCase kind = kindCases()[std::get<0>(GetParam())];
  const TestLayer& layer = kind.partition.layers.front();
  const std::string path = write(TestFile{{kind.partition}}, kind.name);
  Reported expected;
  if (layer.kind != LayerKind::Mac || container() == Container::Hdf5) {  // Ogawa MAC layers are stubs
    if (layer.components == 1) expected.push_back({layer.name, 0});
    for (const char* axis : {"(x)", "(y)", "(z)"}) {
      if (layer.components == 3) expected.push_back({layer.name + axis, 1});
    }
  }
  ASSERT_EQ(plugin.reported(path), expected);
  for (size_t c = 0; c < expected.size(); ++c) {
    SCOPED_TRACE(expected[c].first);
    CorvaneFrameData frame;
    ASSERT_EQ(import(frame, path, "2," + expected[c].first + ";"), 0);
    for (int axis = 0; axis < 3; ++axis) EXPECT_EQ(frame.gridSize[axis], layer.window[3 + axis] - layer.window[axis] + 1);
    ExpectVoxelsInFrame(
        frame, 2, layer.window,
        [&](long long i, long long j, long long k) { return VoxelCentreWorld(kind.partition.mapping, layer, i, j, k); },
        [&](long long i, long long j, long long k) { return ExpectedVoxel(layer, static_cast<int>(c), i, j, k); });
  }
  if (expected.empty()) {
    CorvaneFrameData frame;
    EXPECT_EQ(import(frame, path, "2," + layer.name + "(x);"), 5);
  }
}

INSTANTIATE_TEST_SUITE_P(Layers, Field3dKinds,
                         ::testing::Combine(::testing::Range(0, static_cast<int>(kindCases().size())),
                                            ::testing::Values(Container::Ogawa, Container::Hdf5)),
                         [](const ::testing::TestParamInfo<std::tuple<int, Container>>& info) {
                           return std::string(kindCases()[std::get<0>(info.param)].name) +
                                  (std::get<1>(info.param) == Container::Ogawa ? "Ogawa" : "Hdf5");
                         });

// Two partitions: fluid.0 holds a dense density and a sparse velocity on one mapping; fluid.1 a
// coarser density whose values are the linear function f of world position.
double linearOfWorld(const std::array<double, 3>& p) { return p[0] + 2.0 * p[1] + 3.0 * p[2]; }

TestFile partitionedFile() {
  TestPartition fine{"fluid.0", ScaledMapping({0.8, 0.8, 0.8}, {1, 2, 3}), {}};
  fine.layers.push_back(layer("density", LayerKind::Dense, ValueType::Float, 1, {0, 0, 0, 7, 7, 7}, {0, 0, 0, 7, 7, 7}, widePattern));
  TestLayer velocity = layer("vel", LayerKind::Sparse, ValueType::Float, 3, {0, 0, 0, 7, 7, 7}, {-2, 0, 0, 5, 7, 3}, widePattern);
  velocity.stored = [](long long b) { return b != 3; };
  velocity.emptyValue = [](int c, long long) { return 0.25 * c; };
  fine.layers.push_back(velocity);
  TestPartition coarse{"fluid.1", ScaledMapping({0.8, 0.8, 0.8}, {1, 2, 3}), {}};
  TestLayer density = layer("density", LayerKind::Dense, ValueType::Double, 1, {0, 0, 0, 3, 3, 3}, {0, 0, 0, 3, 3, 3}, nullptr);
  density.value = [mapping = coarse.mapping, density](int, long long i, long long j, long long k) {
    return linearOfWorld(VoxelCentreWorld(mapping, density, i, j, k));
  };
  coarse.layers.push_back(density);
  return TestFile{{fine, coarse}};
}

const char kAllGrids[] = "2,fluid.0/density;7,vel(x);8,vel(y);9,vel(z);1,fluid.1/density;";

TEST_P(Field3dPlugin, PartitionsShareOneFrameAndOtherMappingsAreResampled) {
  const TestFile file = partitionedFile();
  const std::string path = write(file, "fire_0042");
  EXPECT_EQ(plugin.reported(path), (Reported{{"fluid.0/density", 0}, {"vel(x)", 1}, {"vel(y)", 1}, {"vel(z)", 1},
                                             {"fluid.1/density", 0}}));
  CorvaneFrameData frame;
  ASSERT_EQ(import(frame, path, kAllGrids), 0);
  EXPECT_EQ(frame.frameNumber, 42);
  // The union of fluid.0's windows, x -2..7, y 0..7, z 0..7.
  EXPECT_EQ(std::vector<int>(frame.gridSize, frame.gridSize + 3), (std::vector<int>{10, 8, 8}));
  const TestPartition& fine = file.partitions[0];
  const auto fineWorld = [&](long long i, long long j, long long k) { return VoxelCentreWorld(fine.mapping, fine.layers[0], i, j, k); };
  ExpectVoxelsInFrame(frame, 2, fine.layers[0].window, fineWorld,
                      [&](long long i, long long j, long long k) { return ExpectedVoxel(fine.layers[0], 0, i, j, k); });
  for (int c = 0; c < 3; ++c) {
    ExpectVoxelsInFrame(frame, 7 + c, fine.layers[1].window, fineWorld,
                        [&](long long i, long long j, long long k) { return ExpectedVoxel(fine.layers[1], c, i, j, k); });
  }
  // Cells outside a layer's window hold 0; fluid.1 is f at cell centres it covers, 0 beyond it.
  const float* density = frame.getChannel(2);
  const float* vz = frame.getChannel(9);
  const float* coarse = frame.getChannel(1);
  for (long long k = 0; k < 8; ++k) {
    for (long long j = 0; j < 8; ++j) {
      for (long long i = 0; i < 10; ++i) {
        const long long cell = i + 10 * (j + 8 * k);
        if (i < 2) {
          EXPECT_EQ(density[cell], 0.0f);
        }
        if (i > 7 || k > 3) {
          EXPECT_EQ(vz[cell], 0.0f);
        }
        // fluid.1's voxels are twice as large: its centres lie within [1, 7] of fluid.0's voxel
        // coordinates, and it reaches [0, 8].
        const double x = i - 2 + 0.5;  // fluid.0 voxel-space centre; y and z are j + 0.5, k + 0.5
        const std::array<double, 3> world = VoxelCentreWorld(fine.mapping, fine.layers[0], i - 2, j, k);
        if (x >= 1 && x <= 7 && j + 0.5 >= 1 && j + 0.5 <= 7 && k + 0.5 >= 1 && k + 0.5 <= 7) {
          EXPECT_NEAR(coarse[cell], linearOfWorld(world), 1e-4) << i << " " << j << " " << k;
        } else if (x < 0) {
          EXPECT_EQ(coarse[cell], 0.0f);
        }
      }
    }
  }
  // Speed comes from the frame, as for any frame, once velocity fills 4, 5, 6: cell (0, 0, 0) is
  // voxel (-2, 0, 0).
  ASSERT_EQ(import(frame, path, "4,vel(x);5,vel(y);6,vel(z);"), 0);
  ASSERT_NE(frame.getChannel(3), nullptr);
  float squares = 0.0f;
  for (int c = 0; c < 3; ++c) squares += std::pow(ExpectedVoxel(fine.layers[1], c, -2, 0, 0), 2.0f);
  EXPECT_FLOAT_EQ(frame.getChannel(3)[0], std::sqrt(squares));
}

TEST_P(Field3dPlugin, HeaderOnlyAndThreadedImportsAgreeWithTheFullOne) {
  const std::string path = write(partitionedFile(), "a");
  CorvaneFrameData full, header, threaded;
  ASSERT_EQ(import(full, path, kAllGrids), 0);
  ASSERT_EQ(import(header, path, kAllGrids, true), 0);
  EXPECT_EQ(std::vector<int>(header.gridSize, header.gridSize + 3), std::vector<int>(full.gridSize, full.gridSize + 3));
  EXPECT_EQ(std::memcmp(header.transform, full.transform, sizeof full.transform), 0);
  EXPECT_EQ(header.channelMask, full.channelMask);
  EXPECT_EQ(full.channelMask, (1u << 1) | (1u << 2) | (1u << 7) | (1u << 8) | (1u << 9));
  EXPECT_FALSE(header.slots[2].present);

  ThreadPerTaskManager manager;
  ASSERT_EQ(plugin.setManager(&manager), 0);
  const int result = import(threaded, path, kAllGrids);
  plugin.releaseManager();
  ASSERT_EQ(result, 0);
  EXPECT_FALSE(manager.threads.empty());
  const long long cells = full.voxelCount();
  for (int id : {1, 2, 7, 8, 9}) {
    EXPECT_EQ(std::memcmp(full.getChannel(id), threaded.getChannel(id), sizeof(float) * cells), 0) << id;
  }
}

TEST_P(Field3dPlugin, DamagedFilesAreRefusedCleanly) {
  const std::string path = write(partitionedFile(), "whole");
  const std::string bytes = ReadWholeFile(path);
  const std::string damaged = scratch.file("damaged.f3d");
  auto importBytes = [&](const std::string& content) {
    std::ofstream(damaged, std::ios::binary | std::ios::trunc) << content;
    CorvaneFrameData frame;
    plugin.reported(damaged);
    return import(frame, damaged, kAllGrids);
  };
  // A file cut anywhere loses what its tree needs.
  for (size_t length = 0; length < bytes.size(); length += 1 + length / 8) {
    EXPECT_NE(importBytes(bytes.substr(0, length)), 0) << "cut at " << length;
  }
  // Any flipped byte gives a result, never a crash (the sanitizer build watches the reads).
  for (size_t at = 0; at < bytes.size(); at += 1 + at / 16) {
    std::string flipped = bytes;
    flipped[at] = static_cast<char>(flipped[at] ^ 0x5a);
    const int result = importBytes(flipped);
    EXPECT_TRUE(result == 0 || result == 3 || result == 4 || result == 5 || result == 6) << result;
  }
  CorvaneFrameData frame;
  EXPECT_EQ(importFrame(nullptr, &frame, false, nullptr, 0), 3);
  EXPECT_EQ(importBytes("not a field file"), 3);
  EXPECT_EQ(import(frame, path, "2,smoke;"), 5);
}

// The decode budget, tight: a layer to resample that does not fit beside the frame is left out and
// the frame still reads; a frame that does not fit itself is refused.
TEST(Field3dDecodeBudget, OversizedResamplesAreLeftOutAndOversizedFramesRefused) {
  const std::vector<unsigned char> bytes = OgawaBytes(partitionedFile());
  CorvaneMappings::GridMappingArray mappings;
  CorvaneMappings::ParseChannelMappings(kAllGrids, mappings);
  const long long frameFloats = 10 * 8 * 8 * 5;
  for (const long long capFloats : {frameFloats + 10, frameFloats - 1}) {
    Field3dIo::OpenedFile file;
    std::string reason;
    ASSERT_EQ(Field3dIo::OpenField3dMemory(bytes.data(), bytes.size(), file, reason), 0) << reason;
    const ScopedDecodeCap cap(capFloats * static_cast<long long>(sizeof(float)));
    CorvaneFrameData frame;
    Field3dIo::Field3dImportRequest request;
    request.mappings = mappings.data;
    request.mappingCount = mappings.size();
    request.maxFloats = Field3dIo::FloatsLeftFor(frame);
    const int result = Field3dIo::ImportField3dFrame(*file.container, request, frame);
    if (capFloats < frameFloats) {
      EXPECT_EQ(result, 4);
      continue;
    }
    ASSERT_EQ(result, 0);
    EXPECT_EQ(frame.channelMask, (1u << 2) | (1u << 7) | (1u << 8) | (1u << 9));  // fluid.1/density left out
    EXPECT_EQ(frame.getChannel(1), nullptr);
    EXPECT_NE(frame.getChannel(2), nullptr);
  }
}

TEST(Field3dOgawa, FilesStillBeingWrittenAreRefusedWithAReason) {
  TestFile file = partitionedFile();
  file.unfinished = true;
  ScratchDirectory scratch;
  const std::string path = scratch.file("open.f3d");
  ASSERT_TRUE(WriteTestFile(file, Container::Ogawa, path));
  PluginModule plugin;
  plugin.load(PluginFile("field3dio"));
  const auto importFrame = plugin.entry<CacheIO::ImportFrameF3DFunction>("ImportFrameF3D");
  PluginLog log;
  CorvaneFrameData frame;
  EXPECT_EQ(PluginModule::importWith(frame, kAllGrids, false, [&](CacheIO::GridMapping* parsed, int count) {
              return importFrame(path.c_str(), &frame, false, parsed, count);
            }), 3);
  EXPECT_TRUE(plugin.reported(path).empty());
  EXPECT_NE(log.text().find("#field3dio: cannot read " + path + ": the file is still being written"), std::string::npos)
      << log.text();
  plugin.unload();
}

INSTANTIATE_TEST_SUITE_P(Containers, Field3dPlugin, ::testing::Values(Container::Ogawa, Container::Hdf5),
                         [](const ::testing::TestParamInfo<Container>& info) {
                           return std::string(info.param == Container::Ogawa ? "Ogawa" : "Hdf5");
                         });

}  // namespace
