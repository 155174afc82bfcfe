// The real orvconvert on frames of chosen content written with the .orv writer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "orv/OrvLoader.h"
#include "tests/conversion/ConvertedFrameCheck.h"
#include "tests/conversion/ConverterProcess.h"
#include "tests/conversion/ScratchDirectory.h"
#include "tests/conversion/VdbReadBack.h"
#include "tools/orv/OrvWriter.h"

namespace {

using orv::writer::GridChannel;
using orv::writer::GridStreamKind;
using Names = std::vector<std::string>;

// Values with zeros, a negative zero, a denormal, NaN and extremes among smooth ones.
std::vector<float> channelValues(int id, size_t count) {
  const float special[] = {0.0f, -0.0f, 1e-42f, NAN, 3.4e38f, -3.4e38f, 0.0f};
  std::vector<float> values(count);
  for (size_t d = 0; d < count; ++d) {
    values[d] = d < 7 && id == 2 ? special[d] : std::sin(0.3f * d + id) * (id + 1);
  }
  return values;
}

GridChannel channel(int id, size_t count, GridStreamKind kind = GridStreamKind::Raw) {
  GridChannel c;
  c.id = id;
  c.kind = kind;
  c.values = channelValues(id, count);
  if (kind != GridStreamKind::Raw) {
    // Quantised streams hold finite values only.
    for (float& v : c.values) v = std::isfinite(v) && std::fabs(v) < 1e6f ? v : 0.5f;
  }
  return c;
}

GridChannel packedColour(size_t count) {
  GridChannel c;
  c.id = 18;
  for (size_t d = 0; d < count; ++d) c.packed.push_back(static_cast<unsigned int>(d * 2654435761u) & 0xffffff);
  return c;
}

orv::writer::Frame frameOfSize(int nx, int ny, int nz) {
  orv::writer::Frame frame;
  frame.gridSize[0] = nx;
  frame.gridSize[1] = ny;
  frame.gridSize[2] = nz;
  return frame;
}

size_t cells(const orv::writer::Frame& frame) {
  return static_cast<size_t>(frame.gridSize[0]) * frame.gridSize[1] * frame.gridSize[2];
}

class WrittenFrameConversion : public ::testing::Test {
 protected:
  ScratchDirectory scratch;
  std::string source = scratch.file("frame.orv");
  std::string destination = scratch.file("frame.vdb");

  void write(const orv::writer::Frame& frame, const std::string& path) {
    std::string error;
    ASSERT_TRUE(orv::writer::WriteFile(frame, path, &error)) << error;
  }
  // Writes and converts the frame in single-file mode; the converted file is checked against the
  // frame as the library reads it.
  void convertAndCheck(const orv::writer::Frame& frame) {
    write(frame, source);
    const ConverterRun run =
        RunConverter({"-silent", "-srcfile", source, "-dstfile", destination}, scratch.path().string());
    EXPECT_EQ(0, run.status);
    EXPECT_EQ("", run.output);
    IOrv* loaded = newIOrv(source.c_str());
    ASSERT_NE(nullptr, loaded);
    ExpectConvertedFrame(destination, *loaded);
    deleteIOrv(loaded);
  }
  openvdb::math::Transform::Ptr firstGridTransform() {
    VdbContents contents = ReadVdb(destination);
    return contents.grids.empty() ? nullptr : contents.grids[0]->transformPtr();
  }
};

TEST_F(WrittenFrameConversion, AllNineGridsFromRawStreamsAndPackedColour) {
  orv::writer::Frame frame = frameOfSize(5, 4, 3);
  for (int id : {10, 6, 1, 5, 2, 4}) frame.channels.push_back(channel(id, cells(frame)));
  frame.channels.push_back(packedColour(cells(frame)));
  convertAndCheck(frame);
  EXPECT_EQ((Names{"Smoke_cvn", "Temperature_cvn", "Fuel_cvn", "VelocityX_cvn", "VelocityY_cvn",
                   "VelocityZ_cvn", "ColorR_cvn", "ColorG_cvn", "ColorB_cvn"}),
            GridNamesInFileOrder(destination));
  // The identity frame transform gives unit voxels, index space equal to world space.
  openvdb::math::Transform::Ptr transform = firstGridTransform();
  ASSERT_TRUE(transform);
  EXPECT_TRUE(transform->isIdentity());
  EXPECT_EQ(openvdb::Vec3d(1, 1, 1), transform->voxelSize());
}

TEST_F(WrittenFrameConversion, QuantisedAndZonedStreamsConvertAsTheLibraryDecodesThem) {
  orv::writer::Frame frame = frameOfSize(24, 17, 11);
  frame.channels.push_back(channel(2, cells(frame), GridStreamKind::Quantised));
  GridChannel zoned = channel(1, cells(frame), GridStreamKind::Zoned);
  zoned.quantiseZones = true;
  zoned.zoneCount = 5;
  frame.channels.push_back(zoned);
  frame.channels.push_back(channel(10, cells(frame), GridStreamKind::ZonedAlt));
  convertAndCheck(frame);
  EXPECT_EQ((Names{"Smoke_cvn", "Temperature_cvn", "Fuel_cvn"}), GridNamesInFileOrder(destination));
}

TEST_F(WrittenFrameConversion, CellSizeAndOriginComeBackFromTheFrameTransform) {
  const float h = 0.25f;
  const openvdb::Vec3d origin(-3.0, 1.5, 20.0);
  orv::writer::Frame frame = frameOfSize(4, 3, 2);
  frame.transform = {1 / h, 0, 0, 0, 1 / h, 0, 0, 0, 1 / h, static_cast<float>(-origin.x() / h),
                     static_cast<float>(-origin.y() / h), static_cast<float>(-origin.z() / h)};
  frame.channels.push_back(channel(2, cells(frame)));
  convertAndCheck(frame);
  openvdb::math::Transform::Ptr transform = firstGridTransform();
  ASSERT_TRUE(transform);
  EXPECT_EQ(openvdb::Vec3d(h, h, h), transform->voxelSize());
  EXPECT_EQ(origin, transform->indexToWorld(openvdb::Vec3d(0, 0, 0)));
  EXPECT_EQ(origin + openvdb::Vec3d(3 * h, 2 * h, h), transform->indexToWorld(openvdb::Vec3d(3, 2, 1)));
}

TEST_F(WrittenFrameConversion, RotatedAndShearedFrameTransformsAreUndone) {
  orv::writer::Frame frame = frameOfSize(3, 3, 3);
  // World-to-grid with a rotation about y, uneven scales and a shear; the check of the converted
  // file maps probe indices through the written transform and back through this one.
  frame.transform = {0.0f, 0.0f, -12.5f, 3.0f, 8.0f, 0.0f, 10.0f, 0.0f, 0.0f, 4.0f, -7.5f, 2.25f};
  frame.channels.push_back(channel(1, cells(frame)));
  convertAndCheck(frame);
}

TEST_F(WrittenFrameConversion, VelocityWithoutItsZComponentWritesNoVelocityGrid) {
  orv::writer::Frame frame = frameOfSize(4, 4, 4);
  frame.channels.push_back(channel(4, cells(frame)));
  frame.channels.push_back(channel(5, cells(frame)));
  frame.channels.push_back(channel(2, cells(frame)));
  convertAndCheck(frame);
  EXPECT_EQ((Names{"Smoke_cvn"}), GridNamesInFileOrder(destination));
}

TEST_F(WrittenFrameConversion, FrameWithoutExportedChannelsGivesAFileWithMetadataOnly) {
  orv::writer::Frame frame = frameOfSize(4, 4, 4);
  frame.channels.push_back(channel(14, cells(frame)));  // wavelet energy is not exported
  convertAndCheck(frame);
  EXPECT_TRUE(GridNamesInFileOrder(destination).empty());
}

TEST_F(WrittenFrameConversion, DamagedCodecStreamIsReportedAndTheNextFrameConverted) {
  orv::writer::Frame good = frameOfSize(6, 5, 4);
  good.channels.push_back(channel(2, cells(good)));
  good.channels.push_back(channel(1, cells(good)));
  write(good, scratch.file("seq_0001.orv"));
  write(good, scratch.file("seq_0003.orv"));

  // The second frame's temperature record keeps its framing, but its codec stream begins with a
  // magic no decoder knows.
  orv::writer::Layout layout;
  std::vector<char> bytes;
  std::string error;
  orv::writer::Frame damaged = frameOfSize(6, 5, 4);
  damaged.channels.push_back(channel(1, cells(damaged)));
  ASSERT_TRUE(orv::writer::Write(damaged, bytes, &error, &layout)) << error;
  ASSERT_GE(layout.streamOffset, 0);
  int32_t recordId;
  std::memcpy(&recordId, &bytes[layout.streamOffset], 4);
  ASSERT_EQ(1, recordId);
  bytes[layout.streamOffset + 8] = static_cast<char>(0xAB);
  bytes[layout.streamOffset + 9] = static_cast<char>(0xAB);
  {
    std::ofstream out(scratch.file("seq_0002.orv"), std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  const std::string sources = scratch.file("seq_####.orv");
  const std::string outputs = scratch.file("seq_####.vdb");
  const ConverterRun run = RunConverter(
      {"-srcfile", sources, "-dstfile", outputs, "-start", "1", "-end", "3", "-silent"},
      scratch.path().string());
  EXPECT_EQ(0, run.status);
  EXPECT_EQ("An error has been encountered while converting frame 2: Unable to expand a source channel\n",
            run.output);
  EXPECT_FALSE(std::filesystem::exists(scratch.file("seq_0002.vdb")));
  for (const char* frameName : {"seq_0001", "seq_0003"}) {
    IOrv* loaded = newIOrv(scratch.file(std::string(frameName) + ".orv").c_str());
    ASSERT_NE(nullptr, loaded);
    ExpectConvertedFrame(scratch.file(std::string(frameName) + ".vdb"), *loaded);
    deleteIOrv(loaded);
  }
}

}  // namespace
