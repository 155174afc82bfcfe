// orvconvert: converts cache frames into OpenVDB files.
#include "converter/CommandLine.h"
#include "converter/ConversionLoop.h"
#include "converter/DecodedChannelRelease.h"
#include "converter/FrameConverter.h"
#include "converter/VdbExport.h"
#include "orv/OrvLoader.h"
#include "support/ExceptionGuard.h"

namespace {

// Frames open through the library's shared frame list and export as OpenVDB files. Each step is
// guarded, so a frame that fails in any way is reported by its error line and the loop goes on.
class VdbFrameConverter : public FrameConverter {
 public:
  IOrv* openFrame(const char* path) override { return newIOrv(path); }
  int exportFrame(const char* destination, IOrv* frame) override {
    return ExportFrameToVdb(destination, *frame, &release_);
  }
  void releaseFrame(IOrv* frame) override { deleteIOrv(frame); }

 private:
  DecodedChannelRelease release_;  // each decoded channel is freed once its grid is built
};

}  // namespace

// Nothing thrown ends the program through std::terminate: the exit status stays 0.
int main(int argc, char** argv) {
  return orv::GuardedCall("orvconvert", 0, [&] {
    ConverterSettings settings;
    const int status = ParseCommandLine(argc, argv, settings);
    if (status >= 0) return status;
    VdbFrameConverter converter;
    return RunConversionLoop(settings, converter);
  });
}
