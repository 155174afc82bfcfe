// The VDB export driven directly with in-memory frames.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "converter/VdbExport.h"
#include "tests/conversion/MemoryFrame.h"
#include "tests/conversion/ScratchDirectory.h"
#include "tests/conversion/VdbReadBack.h"

namespace {

float pattern(long long d) { return std::sin(0.37f * static_cast<float>(d)) * 100.0f; }

using Names = std::vector<std::string>;

class ExportTest : public ::testing::Test {
 protected:
  ScratchDirectory scratch;
  std::string destination = scratch.file("out.vdb");
};

TEST_F(ExportTest, WritesPresentChannelsInFixedOrderUnderFixedNames) {
  MemoryFrame frame(3, 2, 2);
  // Added in an order unlike the file order, so the order must come from the export.
  for (int id : {9, 1, 6, 8, 10, 5, 2, 7, 4}) frame.addChannel(id, pattern);
  ASSERT_EQ(kVdbExportWritten, ExportFrameToVdb(destination.c_str(), frame));
  EXPECT_EQ((Names{"Smoke_cvn", "Temperature_cvn", "Fuel_cvn", "VelocityX_cvn", "VelocityY_cvn",
                   "VelocityZ_cvn", "ColorR_cvn", "ColorG_cvn", "ColorB_cvn"}),
            GridNamesInFileOrder(destination));
}

TEST_F(ExportTest, SmokeAndTemperatureOnlyGiveTwoGridsSmokeFirst) {
  MemoryFrame frame(2, 2, 2);
  frame.addChannel(1, pattern);
  frame.addChannel(2, pattern);
  frame.addChannel(3, pattern);   // speed is never exported
  frame.addChannel(14, pattern);  // nor wavelet energy
  ASSERT_EQ(kVdbExportWritten, ExportFrameToVdb(destination.c_str(), frame));
  EXPECT_EQ((Names{"Smoke_cvn", "Temperature_cvn"}), GridNamesInFileOrder(destination));
}

TEST_F(ExportTest, IncompleteVelocityOrColourIsLeftOutWhole) {
  MemoryFrame frame(2, 2, 2);
  frame.addChannel(4, pattern);
  frame.addChannel(5, pattern);
  frame.addChannel(7, pattern);
  frame.addChannel(9, pattern);
  frame.addChannel(10, pattern);
  ASSERT_EQ(kVdbExportWritten, ExportFrameToVdb(destination.c_str(), frame));
  EXPECT_EQ((Names{"Fuel_cvn"}), GridNames(ReadVdb(destination)));
  EXPECT_EQ(0, frame.channelRequests(4));
  EXPECT_EQ(0, frame.channelRequests(7));
}

TEST_F(ExportTest, EveryCellIsActiveWithItsValueBitForBit) {
  MemoryFrame frame(2, 3, 4);
  // Zeros, a negative zero, a denormal, NaN and extremes must all survive unchanged.
  const float special[] = {0.0f, -0.0f, 1e-42f, NAN, 3.4e38f, -3.4e38f, 0.0f, 1.0f};
  const std::vector<float>& smoke =
      frame.addChannel(2, [&](long long d) { return d < 8 ? special[d] : static_cast<float>(d); });
  const std::vector<float>& fuel = frame.addChannel(10, [](long long) { return 0.0f; });
  ASSERT_EQ(kVdbExportWritten, ExportFrameToVdb(destination.c_str(), frame));

  VdbContents contents = ReadVdb(destination);
  ASSERT_EQ((Names{"Fuel_cvn", "Smoke_cvn"}), GridNames(contents));
  EXPECT_TRUE(HoldsDenseValues(*contents.grids[1], smoke.data(), frame.size()));
  EXPECT_TRUE(HoldsDenseValues(*contents.grids[0], fuel.data(), frame.size()));
  EXPECT_EQ(24u, contents.grids[0]->activeVoxelCount());
  EXPECT_EQ(23.0f, contents.grids[1]->getConstAccessor().getValue(openvdb::Coord(1, 2, 3)));
}

TEST_F(ExportTest, FileCarriesVersionMetadataEvenWithoutGrids) {
  MemoryFrame frame(4, 4, 4);
  ASSERT_EQ(kVdbExportWritten, ExportFrameToVdb(destination.c_str(), frame));
  VdbContents contents = ReadVdb(destination);
  EXPECT_TRUE(contents.grids.empty());
  ASSERT_TRUE(contents.fileMetadata);
  openvdb::Int32Metadata::Ptr version =
      contents.fileMetadata->getMetadata<openvdb::Int32Metadata>("CorvaneVDBVer");
  ASSERT_TRUE(version);
  EXPECT_EQ(0, version->value());
}

TEST_F(ExportTest, UnavailableChannelGivesResultOneAndTouchesNoFile) {
  MemoryFrame frame(2, 2, 2);
  frame.addChannel(2, pattern);
  frame.addBrokenChannel(1);
  frame.addChannel(10, pattern);
  EXPECT_EQ(kVdbExportChannelMissing, ExportFrameToVdb(destination.c_str(), frame));
  EXPECT_FALSE(std::filesystem::exists(destination));
  EXPECT_EQ(0, frame.channelRequests(10)) << "the export stops at the first unavailable channel";
}

TEST_F(ExportTest, UnwritableDestinationsGiveResultTwo) {
  MemoryFrame frame(8, 8, 8);
  frame.addChannel(2, pattern);
  EXPECT_EQ(kVdbExportWriteFailed,
            ExportFrameToVdb(scratch.file("missing/folder/out.vdb").c_str(), frame));
  EXPECT_EQ(kVdbExportWriteFailed, ExportFrameToVdb("", frame));
  if (std::filesystem::exists("/dev/full")) {
    // The device accepts the open and fails the writes: a partial file is not a success.
    EXPECT_EQ(kVdbExportWriteFailed, ExportFrameToVdb("/dev/full", frame));
  }
}

// Index-to-world transforms of the written grids.
class ExportTransformTest : public ExportTest {
 protected:
  openvdb::math::Transform::Ptr exportedTransform(const float (&worldToGrid)[12]) {
    MemoryFrame frame(2, 2, 2);
    frame.addChannel(2, pattern);
    frame.addChannel(1, pattern);
    frame.setTransform(worldToGrid);
    EXPECT_EQ(kVdbExportWritten, ExportFrameToVdb(destination.c_str(), frame));
    VdbContents contents = ReadVdb(destination);
    if (contents.grids.size() != 2) return nullptr;
    // Each grid has its own transform object with the same value.
    EXPECT_NE(&contents.grids[0]->transform(), &contents.grids[1]->transform());
    EXPECT_EQ(contents.grids[0]->transform(), contents.grids[1]->transform());
    return contents.grids[0]->transformPtr();
  }
};

TEST_F(ExportTransformTest, IdentityFrameTransformGivesUnitVoxels) {
  openvdb::math::Transform::Ptr transform =
      exportedTransform({1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0});
  ASSERT_TRUE(transform);
  EXPECT_TRUE(transform->isIdentity());
  EXPECT_EQ(openvdb::Vec3d(1, 1, 1), transform->voxelSize());
}

TEST_F(ExportTransformTest, CellSizeAndOriginAreRecovered) {
  const float h = 0.25f;
  const openvdb::Vec3d origin(-3.0, 1.5, 20.0);
  openvdb::math::Transform::Ptr transform = exportedTransform(
      {1 / h, 0, 0, 0, 1 / h, 0, 0, 0, 1 / h, static_cast<float>(-origin.x() / h),
       static_cast<float>(-origin.y() / h), static_cast<float>(-origin.z() / h)});
  ASSERT_TRUE(transform);
  EXPECT_TRUE(transform->isLinear());
  EXPECT_EQ(openvdb::Vec3d(h, h, h), transform->voxelSize());
  EXPECT_EQ(origin, transform->indexToWorld(openvdb::Vec3d(0, 0, 0)));
  EXPECT_EQ(origin + openvdb::Vec3d(h, 2 * h, 3 * h),
            transform->indexToWorld(openvdb::Vec3d(1, 2, 3)));
}

TEST_F(ExportTransformTest, RotatedFrameTransformIsInvertedWithItsRowConvention) {
  // World-to-grid: rotate a quarter turn about z (x' = -y, y' = x in row-vector form), then
  // scale by 2 and translate; the exported transform must undo exactly that.
  openvdb::math::Transform::Ptr transform =
      exportedTransform({0, 2, 0, -2, 0, 0, 0, 0, 2, 4, -6, 8});
  ASSERT_TRUE(transform);
  const openvdb::Vec3d world(1.0, 2.0, 3.0);
  const openvdb::Vec3d index(world.x() * 0 + world.y() * -2 + 4, world.x() * 2 + -6,
                             world.z() * 2 + 8);
  const openvdb::Vec3d back = transform->indexToWorld(index);
  EXPECT_NEAR(world.x(), back.x(), 1e-6);
  EXPECT_NEAR(world.y(), back.y(), 1e-6);
  EXPECT_NEAR(world.z(), back.z(), 1e-6);
}

TEST_F(ExportTransformTest, SingularFrameTransformWritesIdentityAndKeepsTheData) {
  openvdb::math::Transform::Ptr transform =
      exportedTransform({1, 0, 0, 2, 0, 0, 0, 0, 1, 5, 5, 5});
  ASSERT_TRUE(transform);
  EXPECT_TRUE(transform->isIdentity());
  openvdb::math::Transform::Ptr fromNan =
      exportedTransform({NAN, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0});
  ASSERT_TRUE(fromNan);
  EXPECT_TRUE(fromNan->isIdentity());
}

}  // namespace
