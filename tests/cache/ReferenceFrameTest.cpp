// The shared reference frames, written by an independent writer, load with exactly the recorded
// grid description and channel values.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "../support/ReferenceFrameCheck.h"
#include "../support/TestFiles.h"
#include "cache/CorvaneFrameData.h"

namespace {

const std::string kReference = ORV_REFERENCE_DIR;

class ReferenceFrame : public ::testing::TestWithParam<const char*> {};

TEST_P(ReferenceFrame, LoadsWithTheRecordedGridAndChannels) {
  const JsonValue root = ReferenceExpectations(kReference);
  const JsonValue& expected = root[GetParam()];
  ASSERT_FALSE(expected.members.empty()) << "reference data missing";
  CorvaneFrameData frame;
  ASSERT_EQ(frame.ImportOrv((kReference + GetParam()).c_str(), true, false),
            expected["loadResult"].integer());
  ExpectRecordedGrid(frame, expected, kReference);
}

INSTANTIATE_TEST_SUITE_P(AllFrames, ReferenceFrame,
                         ::testing::Values("v5_zoned_fc03.orv", "v4_sgc3_zoned.orv",
                                           "v6_particles.orv", "v6_colour18.orv"));

TEST(ReferenceFrameChannels, ConcurrentFirstRequestsDecodeOnceAndShareTheArray) {
  CorvaneFrameData frame;
  ASSERT_EQ(frame.ImportOrv((kReference + "v4_sgc3_zoned.orv").c_str(), true, false), 0);
  std::vector<const float*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) threads.emplace_back([&, t] { seen[t] = frame.getChannel(3); });
  for (std::thread& thread : threads) thread.join();
  ASSERT_NE(seen[0], nullptr);
  for (const float* p : seen) EXPECT_EQ(p, seen[0]);
}

TEST(ReferenceFrameChannels, HeaderOnlyLoadKeepsTheGridAndNoChannelData) {
  CorvaneFrameData frame;
  ASSERT_EQ(frame.ImportOrv((kReference + "v5_zoned_fc03.orv").c_str(), true, true), 0);
  EXPECT_EQ(frame.gridSize[0], 17);
  EXPECT_EQ(frame.hasChannel(1), 1);
  EXPECT_EQ(frame.compressedLength, 1);
  EXPECT_EQ(frame.getChannel(1), nullptr);
}

// Every prefix of a valid file loads with a defined result and never faults.
TEST(DamagedFrames, TruncatedCopiesGiveDefinedResults) {
  const std::string whole = ReadWholeFile(kReference + "v6_particles.orv");
  ASSERT_GT(whole.size(), 100u);
  const std::string path = ProcessTempPath("truncated.orv");
  for (size_t cut = 0; cut < whole.size(); cut += 1 + whole.size() / 211) {
    std::ofstream(path, std::ios::binary).write(whole.data(), static_cast<long>(cut));
    CorvaneFrameData frame;
    const int result = frame.ImportOrv(path.c_str(), true, false);
    EXPECT_TRUE(result == 3 || result == 4 || result == 12) << cut << " gave " << result;
  }
}

TEST(DamagedFrames, MissingPathsAndFootersHaveTheirCodes) {
  CorvaneFrameData frame;
  EXPECT_EQ(frame.ImportOrv("", true, false), 3);
  EXPECT_EQ(frame.ImportOrv(ProcessTempPath("absent.orv").c_str(), true, false), 3);
  std::string bytes = ReadWholeFile(kReference + "v5_zoned_fc03.orv");
  bytes[bytes.size() - 1] ^= 0x20;
  const std::string path = ProcessTempPath("nofooter.orv");
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<long>(bytes.size()));
  EXPECT_EQ(frame.ImportOrv(path.c_str(), true, false), 12);
}

}  // namespace
