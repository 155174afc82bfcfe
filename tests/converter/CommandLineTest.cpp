// Runs the real orvconvert and compares its whole standard output; standard error must stay empty.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

#include "tests/support/TestFiles.h"

namespace {

struct RunResult {
  std::string out;
  std::string err;
  int status = -1;
};

RunResult runConverter(const std::string& arguments) {
  // CTest runs test cases in parallel processes: each run gets files of its own.
  const std::string out = ProcessTempPath("orvconvert-run.out");
  const std::string err = ProcessTempPath("orvconvert-run.err");
  const std::string command =
      std::string("\"") + ORVCONVERT_PATH + "\" " + arguments + " >" + out + " 2>" + err;
  RunResult result;
  const int raw = std::system(command.c_str());
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = ReadWholeFile(out);
  result.err = ReadWholeFile(err);
  return result;
}

const std::string kBanner = "Cache conversion tool (Corvane SDK version 0x31200)\n";
const std::string kHelp =
    "-help :           Shows the help screen\n"
    "-credits :        Shows copyright notices for the cache converter and used libraries.\n"
    "-srcfile :        Input file(s) name or pattern. Use '##...#' as a frame number.\n"
    "-dstfile :        Output file(s) name or pattern. Use '##...#' as a frame number.\n"
    "-start/end :      Export range (inclusive) \n"
    "-silent :         Hide progress \n"
    "Example command line: \n"
    "orvconvert.exe -srcfile ND2_CorvaneFire001_####.orv -dstfile outFile_####.vdb -start 0 -end "
    "10\n";
const std::string kNotSet =
    "Source and destination files have not been set. Use \"-srcfile\" and \"-dstfile\" "
    "arguments\n";

TEST(ConverterCommandLine, NoArgumentsPrintsBannerHelpAndMissingNames) {
  const RunResult r = runConverter("");
  EXPECT_EQ(r.out, kBanner + kHelp + kNotSet);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
}

TEST(ConverterCommandLine, HelpAmongOtherOptionsPrintsWhereItStandsAndGoesOn) {
  const RunResult r = runConverter("-srcfile a_#.orv -help -dstfile b_#.vdb -start 1 -end 1");
  EXPECT_EQ(r.out, kBanner + kHelp +
                       "Converting a_1.orv to b_1.vdb | 0...An error has been encountered while "
                       "converting frame 1: Unable to load source cache \n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
}

TEST(ConverterCommandLine, CreditsNameEveryLibraryAndLicence) {
  const RunResult r = runConverter("-credits -srcfile a -dstfile b -start 3 -end 2");
  for (const char* name : {"zlib", "Boost", "OpenVDB", "TBB", "Blosc", "Zlib", "BSL-1.0",
                           "MPL-2.0", "Apache-2.0", "BSD-3-clause"}) {
    EXPECT_NE(r.out.find(name), std::string::npos) << name;
  }
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
}

TEST(ConverterCommandLine, BadOrMissingNumbersExitWithStatusOne) {
  RunResult r = runConverter("-srcfile a -dstfile b -start x");
  EXPECT_EQ(r.out, "A number expected after -start.\n");
  EXPECT_EQ(r.status, 1);
  r = runConverter("-srcfile a -dstfile b -end");
  EXPECT_EQ(r.out, "A number expected after -end.\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "");
}

TEST(ConverterCommandLine, EmptyNumberIsAcceptedAndTrailingCharactersIgnored) {
  const RunResult r = runConverter("-srcfile a_#.orv -dstfile b_#.vdb -start '' -end 0abc -silent");
  EXPECT_EQ(r.out,
            "An error has been encountered while converting frame 1: Unable to load source "
            "cache \n");
  EXPECT_EQ(r.status, 0);
}

TEST(ConverterCommandLine, MissingSourceAndWrongCaseOptions) {
  RunResult r = runConverter("-dstfile b.vdb");
  EXPECT_EQ(r.out, kNotSet);
  EXPECT_EQ(r.status, 0);
  r = runConverter("-Help -SRCFILE a -DSTFILE b -Start x");
  EXPECT_EQ(r.out, kNotSet);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
}

}  // namespace
