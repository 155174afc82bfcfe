// Option scan and the fixed texts of orvconvert. Everything goes to standard output.
#include "converter/CommandLine.h"

#include <cstdio>
#include <cstring>

namespace {

const char kHelpText[] =
    "-help :           Shows the help screen\n"
    "-credits :        Shows copyright notices for the cache converter and used libraries.\n"
    "-srcfile :        Input file(s) name or pattern. Use '##...#' as a frame number.\n"
    "-dstfile :        Output file(s) name or pattern. Use '##...#' as a frame number.\n"
    "-start/end :      Export range (inclusive) \n"
    "-silent :         Hide progress \n"
    "Example command line: \n"
    "orvconvert.exe -srcfile ND2_CorvaneFire001_####.orv -dstfile outFile_####.vdb -start 0 "
    "-end 10\n";

const char kCreditsText[] =
    "orvconvert - cache conversion tool. Copyright (c) the orv developers.\n"
    "This program uses the following libraries:\n"
    "  zlib - Copyright (c) Jean-loup Gailly and Mark Adler. Licence: Zlib.\n"
    "  Boost - Copyright (c) the Boost authors. Licence: BSL-1.0 (Boost Software License 1.0).\n"
    "  OpenVDB - Copyright (c) Contributors to the OpenVDB Project. Licence: MPL-2.0.\n"
    "  Intel TBB (oneTBB) - Copyright (c) Intel Corporation. Licence: Apache-2.0.\n"
    "  Blosc - Copyright (c) Francesc Alted and the Blosc Development Team. Licence: "
    "BSD-3-clause.\n";

// Reads a frame number as "%d" does. False only when no number could be read from a non-empty
// value; an empty or absent value leaves the setting unchanged.
bool readFrameNumber(const char* value, int& frame) {
  if (!value) return false;
  int number = 0;
  const int fields = std::sscanf(value, "%d", &number);
  if (fields == 1) frame = number;
  return fields != 0;
}

}  // namespace

void PrintBannerAndHelp() {
  std::printf("Cache conversion tool (Corvane SDK version 0x%x)\n", kSdkVersionNumber);
  std::printf("%s", kHelpText);
}

void PrintCredits() { std::printf("%s", kCreditsText); }

int ParseCommandLine(int argc, const char* const* argv, ConverterSettings& settings) {
  if (argc <= 1) PrintBannerAndHelp();
  for (int i = 0; i < argc; ++i) {
    const char* argument = argv[i] ? argv[i] : "";
    // The value of a value option; null past the end of the argument vector.
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (std::strcmp(argument, "-help") == 0) {
      PrintBannerAndHelp();
    } else if (std::strcmp(argument, "-credits") == 0) {
      PrintCredits();
    } else if (std::strcmp(argument, "-srcfile") == 0) {
      settings.source = value ? value : "";
      settings.sourceGiven = true;
      ++i;
    } else if (std::strcmp(argument, "-dstfile") == 0) {
      settings.destination = value ? value : "";
      settings.destinationGiven = true;
      ++i;
    } else if (std::strcmp(argument, "-start") == 0) {
      if (!readFrameNumber(value, settings.startFrame)) {
        std::printf("A number expected after -start.\n");
        return 1;
      }
      ++i;
    } else if (std::strcmp(argument, "-end") == 0) {
      if (!readFrameNumber(value, settings.endFrame)) {
        std::printf("A number expected after -end.\n");
        return 1;
      }
      ++i;
    } else if (std::strcmp(argument, "-silent") == 0) {
      settings.showProgress = false;
    }
  }
  if (!settings.sourceGiven || !settings.destinationGiven) {
    std::printf(
        "Source and destination files have not been set. Use \"-srcfile\" and \"-dstfile\" "
        "arguments\n");
  }
  return -1;
}
