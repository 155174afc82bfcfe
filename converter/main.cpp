// orvconvert: converts cache frames into OpenVDB files.
#include "converter/CommandLine.h"
#include "converter/ConversionLoop.h"
#include "converter/FrameConverter.h"

namespace {

// Frames cannot be opened by this program yet: every load is reported as failed.
class UnavailableFrameConverter : public FrameConverter {
 public:
  IOrv* openFrame(const char*) override { return nullptr; }
  int exportFrame(const char*, IOrv*) override { return 2; }
  void releaseFrame(IOrv*) override {}
};

}  // namespace

int main(int argc, char** argv) {
  ConverterSettings settings;
  const int status = ParseCommandLine(argc, argv, settings);
  if (status >= 0) return status;
  UnavailableFrameConverter converter;
  return RunConversionLoop(settings, converter);
}
