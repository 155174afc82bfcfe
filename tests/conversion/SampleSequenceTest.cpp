// The bundled sample sequence: the committed frames are what the generator writes, and orvconvert
// turns the whole range into files holding exactly the frames' values.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "orv/OrvLoader.h"
#include "tests/conversion/ConvertedFrameCheck.h"
#include "tests/conversion/ConverterProcess.h"
#include "tests/conversion/ScratchDirectory.h"
#include "tests/conversion/VdbReadBack.h"
#include "tools/samples/FirePlume.h"

namespace {

constexpr int kFrames = 6;
const std::string kSamples = std::string(ORV_SOURCE_DIR) + "/samples/";

std::string sampleName(int frame, const char* extension) {
  char name[32];
  std::snprintf(name, sizeof name, "fire_%04d.%s", frame, extension);
  return name;
}

std::vector<char> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(SampleSequence, CommittedFramesAreWhatTheGeneratorWrites) {
  const orv::samples::PlumeGrid grid;
  for (int frame = 1; frame <= kFrames; ++frame) {
    SCOPED_TRACE(frame);
    std::vector<char> written;
    std::string error;
    ASSERT_TRUE(orv::writer::Write(
        orv::samples::FirePlumeOrvFrame(grid, frame, orv::samples::FirePlumeFields(grid, frame)),
        written, &error))
        << error;
    EXPECT_TRUE(written == fileBytes(kSamples + sampleName(frame, "orv")))
        << "regenerate samples/ with orvsamples";
  }
  EXPECT_FALSE(std::filesystem::exists(kSamples + sampleName(kFrames + 1, "orv")));
}

TEST(SampleSequence, WholeRangeConvertsToAllNineGridsWithTheFramesValues) {
  ScratchDirectory scratch;
  const ConverterRun run =
      RunConverter({"-srcfile", kSamples + "fire_####.orv", "-dstfile", scratch.file("fire_####.vdb"),
                    "-start", "1", "-end", std::to_string(kFrames)},
                   scratch.path().string());
  EXPECT_EQ(0, run.status);
  EXPECT_EQ(std::string::npos, run.output.find("error")) << run.output;
  for (int frame = 1; frame <= kFrames; ++frame) {
    SCOPED_TRACE(frame);
    IOrv* loaded = newIOrv((kSamples + sampleName(frame, "orv")).c_str());
    ASSERT_NE(nullptr, loaded);
    EXPECT_EQ(9u, ExpectedGrids(*loaded).size());
    const std::string converted = scratch.file(sampleName(frame, "vdb"));
    ExpectConvertedFrame(converted, *loaded);
    deleteIOrv(loaded);
    // The frame transform places cell (0, 0, 0) at the plume's origin with its cell size.
    const VdbContents contents = ReadVdb(converted);
    ASSERT_FALSE(contents.grids.empty());
    const orv::samples::PlumeGrid grid;
    const openvdb::Vec3d origin = contents.grids[0]->transform().indexToWorld(openvdb::Vec3d(0, 0, 0));
    for (int a = 0; a < 3; ++a) EXPECT_NEAR(grid.origin[a], origin[a], 1e-6);
    EXPECT_NEAR(grid.cellSize, contents.grids[0]->transform().voxelSize()[0], 1e-7);
  }
}

}  // namespace
