// The converter frees each decoded channel once its grid is built, only from a frame it alone
// holds, and the frame decodes the channel again when asked.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "cache/CorvaneFrameData.h"
#include "converter/DecodedChannelRelease.h"
#include "orv/OrvLoader.h"
#include "tests/conversion/ConvertedFrameCheck.h"
#include "tests/conversion/FrameFiles.h"
#include "tests/conversion/MemoryFrame.h"
#include "tests/conversion/ScratchDirectory.h"

namespace {

class DecodedChannelReleaseTest : public ::testing::Test {
 protected:
  void SetUp() override { WriteBytes(source, ReferenceFrameBytes("v4_sgc3_zoned.orv")); }

  ScratchDirectory scratch;
  std::string source = scratch.file("frame.orv");
  std::string destination = scratch.file("frame.vdb");
  DecodedChannelRelease release;
};

TEST_F(DecodedChannelReleaseTest, SoleHolderLosesTheExportedArraysAndGetsThemBackOnRequest) {
  IOrv* frame = newIOrv(source.c_str());
  ASSERT_NE(nullptr, frame);
  CorvaneFrameData& data = dynamic_cast<CorvaneFrameData&>(*frame);
  ASSERT_NE(nullptr, frame->getChannel(3));  // speed: not exported, so it stays decoded
  ASSERT_EQ(kVdbExportWritten, ExportFrameToVdb(destination.c_str(), *frame, &release));

  const std::vector<ExpectedGrid> exported = ExpectedGrids(*frame);
  ASSERT_EQ(5u, exported.size());
  for (const ExpectedGrid& grid : exported) {
    EXPECT_EQ(nullptr, data.slots[grid.channelId].values()) << grid.name << " still decoded";
  }
  EXPECT_NE(nullptr, data.slots[3].values());
  // Decoded again on request, with the values the file holds.
  ExpectConvertedFrame(destination, *frame);
  deleteIOrv(frame);
}

TEST_F(DecodedChannelReleaseTest, SharedFrameKeepsItsArrays) {
  IOrv* frame = newIOrv(source.c_str());
  IOrv* other = newIOrv(source.c_str());
  ASSERT_NE(nullptr, frame);
  ASSERT_EQ(frame, other);
  int size[3];
  frame->getGridSize(size);
  const size_t cells = static_cast<size_t>(size[0]) * size[1] * size[2];
  const float* smoke = other->getChannel(2);
  ASSERT_NE(nullptr, smoke);
  const std::vector<float> before(smoke, smoke + cells);

  ASSERT_EQ(kVdbExportWritten, ExportFrameToVdb(destination.c_str(), *frame, &release));
  EXPECT_EQ(smoke, other->getChannel(2)) << "an array another holder may use stays in place";
  EXPECT_EQ(0, std::memcmp(before.data(), smoke, cells * sizeof(float)));
  deleteIOrv(other);
  deleteIOrv(frame);
}

TEST_F(DecodedChannelReleaseTest, OtherFramesAreLeftAlone) {
  MemoryFrame frame(2, 2, 2);
  const std::vector<float>& smoke = frame.addChannel(2, [](long long d) { return 0.5f * d; });
  ASSERT_EQ(kVdbExportWritten, ExportFrameToVdb(destination.c_str(), frame, &release));
  EXPECT_EQ(smoke.data(), frame.getChannel(2));
}

}  // namespace
