// Frame loop of orvconvert.
#include "converter/ConversionLoop.h"

#include <iostream>
#include <string>

#include "support/FramePattern.h"

namespace {

// 32-bit arithmetic that wraps instead of overflowing, as the printed positions expect.
int wrappingDifferencePlusOne(int a, int b) {
  return static_cast<int>(static_cast<unsigned int>(a) - static_cast<unsigned int>(b) + 1u);
}

void printErrorStart(int position) {
  std::cout << "An error has been encountered while converting frame " << position << ": ";
}

}  // namespace

int RunConversionLoop(const ConverterSettings& settings, FrameConverter& converter) {
  const bool singleFile = settings.singleFileMode();
  const int start = settings.startFrame;
  const int end = settings.endFrame;
  const int rangeLength = wrappingDifferencePlusOne(end, start);
  bool firstPass = singleFile;
  for (int frame = start; firstPass || frame <= end; ++frame) {
    firstPass = false;
    const int position = wrappingDifferencePlusOne(frame, start);
    const std::string source =
        singleFile ? settings.source : ExpandFramePattern(settings.source.c_str(), frame, "");
    const std::string destination =
        singleFile ? settings.destination
                   : ExpandFramePattern(settings.destination.c_str(), frame, "");
    if (settings.showProgress) {
      std::cout << "Converting " << source << " to " << destination << " | 0..." << std::flush;
    }
    IOrv* loaded = converter.openFrame(source.c_str());
    if (!loaded) {
      printErrorStart(position);
      std::cout << "Unable to load source cache \n" << std::flush;
    } else {
      if (settings.showProgress) std::cout << "...50..." << std::flush;
      const int result = converter.exportFrame(destination.c_str(), loaded);
      converter.releaseFrame(loaded);
      if (result == 0) {
        if (settings.showProgress) {
          std::cout << "...100 | " << position << "/" << rangeLength << "\n" << std::flush;
        }
      } else {
        printErrorStart(position);
        if (result == 1) std::cout << "Unable to expand a source channel";
        if (result == 2) std::cout << "Unable to write to destination file";
        std::cout << "\n" << std::flush;
      }
    }
    // The largest frame number is the last one: stepping past it would wrap round.
    if (frame == NoFrame) break;
  }
  return 0;
}
