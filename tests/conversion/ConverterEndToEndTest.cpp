// The real orvconvert binary on cache files: every written file is read back with OpenVDB and
// compared with the frame as the library reads it.
#include <gtest/gtest.h>

#include <filesystem>

#include "orv/OrvLoader.h"
#include "tests/conversion/ConvertedFrameCheck.h"
#include "tests/conversion/ConverterProcess.h"
#include "tests/conversion/FrameFiles.h"
#include "tests/conversion/ScratchDirectory.h"
#include "tools/orv/OrvWriter.h"

namespace {

const std::string kProgress = " | 0......50......100 | ";
const std::string kFrameError = "An error has been encountered while converting frame ";
// Enough for the program and a small frame; not for a 512^3 frame's two channels and grids.
constexpr long long kAddressSpaceKiB = 1ll << 20;

// Opens path through the library, as orvconvert does, and checks the converted file against it.
void expectConvertedFrom(const std::string& vdbPath, const std::string& orvPath) {
  IOrv* frame = newIOrv(orvPath.c_str());
  ASSERT_NE(frame, nullptr) << orvPath;
  ExpectConvertedFrame(vdbPath, *frame);
  deleteIOrv(frame);
}

class ReferenceFrameConversion : public ::testing::TestWithParam<const char*> {
 protected:
  ScratchDirectory scratch;
};

TEST_P(ReferenceFrameConversion, WritesEveryExportedChannelExactly) {
  const std::string source = scratch.file(GetParam());
  const std::string destination = scratch.file("converted.vdb");
  WriteBytes(source, ReferenceFrameBytes(GetParam()));

  const ConverterRun run = RunConverter({"-srcfile", source, "-dstfile", destination},
                                        scratch.path().string());
  EXPECT_EQ(0, run.status);
  EXPECT_EQ("Converting " + source + " to " + destination + kProgress + "1/0\n", run.output);
  EXPECT_EQ("", run.errors);
  expectConvertedFrom(destination, source);
}

INSTANTIATE_TEST_SUITE_P(AllReferenceFrames, ReferenceFrameConversion,
                         ::testing::Values("v5_zoned_fc03.orv", "v4_sgc3_zoned.orv",
                                           "v6_particles.orv", "v6_colour18.orv"));

// A frame range in which some frames fail: each failure is reported and the loop goes on.
class ConversionRangeTest : public ::testing::Test {
 protected:
  ScratchDirectory scratch;
  std::string sourcePattern = scratch.file("fire_####.orv");
  std::string destinationPattern = scratch.file("out/fire_####.vdb");

  std::string source(int frame) const {
    return scratch.file("fire_000" + std::to_string(frame) + ".orv");
  }
  std::string destination(int frame) const {
    return scratch.file("out/fire_000" + std::to_string(frame) + ".vdb");
  }
  ConverterRun convert(int start, int end) {
    std::filesystem::create_directories(scratch.path() / "out");
    return RunConverter({"-srcfile", sourcePattern, "-dstfile", destinationPattern, "-start",
                         std::to_string(start), "-end", std::to_string(end)},
                        scratch.path().string());
  }
  std::string converting(int frame) const {
    return "Converting " + source(frame) + " to " + destination(frame);
  }
  // The output of converting frames 1 to 3 when frame 2 fails its export with reason.
  std::string outputWithSecondFrameFailing(const std::string& reason) const {
    return converting(1) + kProgress + "1/3\n" + converting(2) + " | 0......50..." + kFrameError +
           "2: " + reason + "\n" + converting(3) + kProgress + "3/3\n";
  }
};

TEST_F(ConversionRangeTest, CorruptChannelIsReportedAndTheNextFrameConverted) {
  std::vector<char> broken = ReferenceFrameBytes("v6_colour18.orv");
  ASSERT_TRUE(CorruptPackedColourBlock(broken));
  WriteBytes(source(1), ReferenceFrameBytes("v5_zoned_fc03.orv"));
  WriteBytes(source(2), broken);
  WriteBytes(source(3), ReferenceFrameBytes("v6_colour18.orv"));

  const ConverterRun run = convert(1, 3);
  EXPECT_EQ(0, run.status);
  EXPECT_EQ(outputWithSecondFrameFailing("Unable to expand a source channel"), run.output);
  EXPECT_FALSE(std::filesystem::exists(destination(2))) << "a failed expansion writes no file";
  expectConvertedFrom(destination(1), source(1));
  expectConvertedFrom(destination(3), source(3));
}

TEST_F(ConversionRangeTest, UnwritableDestinationIsReportedAndTheNextFrameConverted) {
  for (int frame = 1; frame <= 3; ++frame) {
    WriteBytes(source(frame), ReferenceFrameBytes("v4_sgc3_zoned.orv"));
  }
  // A directory where the second output file should go cannot be opened as a file.
  std::filesystem::create_directories(destination(2));

  const ConverterRun run = convert(1, 3);
  EXPECT_EQ(0, run.status);
  EXPECT_EQ(outputWithSecondFrameFailing("Unable to write to destination file"), run.output);
  expectConvertedFrom(destination(1), source(1));
  expectConvertedFrom(destination(3), source(3));
}

// ORV_LOG=stderr shows a user why a frame failed, while the program's own lines stay as they are.
TEST_F(ConversionRangeTest, TheLogVariableShowsWhyAFrameFailed) {
  std::vector<char> broken = ReferenceFrameBytes("v5_zoned_fc03.orv");
  broken.resize(broken.size() / 2);
  broken.insert(broken.end(), {'O', 'R', 'V', 'A', '2', 'C', 'V', 'N'});
  WriteBytes(source(1), broken);
  const std::vector<std::string> arguments = {"-srcfile", source(1), "-dstfile", destination(1)};
  const ConverterRun quiet = RunConverter(arguments, scratch.path().string());
  const ConverterRun logged =
      RunConverter(arguments, scratch.path().string(), {0, "ORV_LOG=stderr", ""});
  EXPECT_EQ(quiet.output, logged.output);
  EXPECT_EQ("", quiet.errors);
  EXPECT_NE(logged.errors.find("ImportOrv " + source(1) + ": "), std::string::npos) << logged.errors;
  EXPECT_NE(logged.errors.find("CorvaneFrameData::ImportOrv broken file. File is: " + source(1)),
            std::string::npos);
}

TEST_F(ConversionRangeTest, DestinationInMissingFolderAndMissingSourceAreReported) {
  WriteBytes(source(2), ReferenceFrameBytes("v5_zoned_fc03.orv"));
  const std::string missingFolder = scratch.file("nowhere/out.vdb");
  ConverterRun run =
      RunConverter({"-srcfile", source(2), "-dstfile", missingFolder}, scratch.path().string());
  EXPECT_EQ("Converting " + source(2) + " to " + missingFolder + " | 0......50..." + kFrameError +
                "1: Unable to write to destination file\n",
            run.output);
  EXPECT_EQ(0, run.status);

  // Frame 1 does not exist; frame 2 still converts.
  run = convert(1, 2);
  EXPECT_EQ(converting(1) + " | 0..." + kFrameError + "1: Unable to load source cache \n" +
                converting(2) + kProgress + "2/2\n",
            run.output);
  expectConvertedFrom(destination(2), source(2));
}

// Under an address-space limit, a frame too large for it gives its error line (its channel or
// its grids cannot be allocated) with nothing on standard error, and the next frame converts.
TEST_F(ConversionRangeTest, AFrameBeyondTheMemoryLimitIsReportedAndTheNextFrameConverted) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer's shadow memory needs more address space than any such limit";
#endif
  orv::writer::Frame large = orv::writer::Frame();
  large.version = 6;
  for (int a = 0; a < 3; ++a) large.gridSize[a] = 512;
  for (int id : {1, 2}) {
    orv::writer::GridChannel constant;
    constant.id = id;
    constant.kind = orv::writer::GridStreamKind::Constant;
    constant.constant = 0.25f;
    large.channels.push_back(constant);
  }
  std::string error;
  ASSERT_TRUE(orv::writer::WriteFile(large, source(1), &error)) << error;
  WriteBytes(source(2), ReferenceFrameBytes("v5_zoned_fc03.orv"));

  std::filesystem::create_directories(scratch.path() / "out");
  const ConverterRun run = RunConverter({"-srcfile", sourcePattern, "-dstfile", destinationPattern,
                                         "-start", "1", "-end", "2"},
                                        scratch.path().string(), {kAddressSpaceKiB, "", ""});
  EXPECT_EQ(0, run.status);
  EXPECT_EQ("", run.errors);
  const std::string firstFailed = converting(1) + " | 0......50..." + kFrameError + "1: ";
  ASSERT_EQ(run.output.rfind(firstFailed, 0), 0u) << run.output;
  const std::string rest = run.output.substr(firstFailed.size());
  EXPECT_TRUE(rest.rfind("Unable to expand a source channel\n", 0) == 0 ||
              rest.rfind("Unable to write to destination file\n", 0) == 0)
      << rest;
  EXPECT_NE(run.output.find(converting(2) + kProgress + "2/2\n"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(destination(1)));
  expectConvertedFrom(destination(2), source(2));
}

}  // namespace
