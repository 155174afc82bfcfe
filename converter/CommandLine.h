// The command line of orvconvert: its settings, the option scan and the fixed texts.
#pragma once

#include <string>

struct ConverterSettings {
  std::string source;
  std::string destination;
  bool sourceGiven = false;
  bool destinationGiven = false;
  int startFrame = 0;
  int endFrame = -1;
  bool showProgress = true;

  // Both names given and no end frame (or -1): convert the one file as named.
  bool singleFileMode() const { return sourceGiven && destinationGiven && endFrame == -1; }
};

// Version number of the frame library, shown in the banner.
constexpr unsigned int kSdkVersionNumber = 0x31200;

// Scans argv left to right, printing help and credits where they stand, and the message on
// missing names after the scan. Returns -1 to go on with the conversion, or the exit status
// (1 for a start or end value that holds no number).
int ParseCommandLine(int argc, const char* const* argv, ConverterSettings& settings);

void PrintBannerAndHelp();
void PrintCredits();
