// orv convert: the command line in, the conversion engine, its progress out.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "converter/FrameList.h"
#include "converter/SequenceConversion.h"
#include "converter/orvtool/CommandArguments.h"
#include "converter/orvtool/Commands.h"
#include "converter/orvtool/HelpTexts.h"
#include "converter/orvtool/ProgressDisplay.h"
#include "support/platform/Output.h"

namespace {

constexpr int kMaxThreads = 4096;

bool readNumber(const std::string& text, double& number) {
  const char* start = text.c_str();
  char* end = nullptr;
  number = std::strtod(start, &end);
  return end != start && *end == '\0' && std::isfinite(number);
}

// Fills the request from the options; empty on success, otherwise the problem.
std::string readOptions(const CommandArguments& arguments, ConversionRequest& request) {
  request.settings = PipelineExportSettings();
  request.settings.halfFloat = arguments.has("--half");
  request.settings.particles = arguments.has("--particles");
  request.skipExisting = arguments.has("--skip-existing");
  if (const std::string* list = arguments.value("--frames")) {
    std::string reason;
    if (!ParseFrameList(*list, request.frames, &reason)) return "--frames: " + reason;
  }
  if (const std::string* name = arguments.value("--preset")) {
    if (!ParseGridPreset(*name, request.settings.preset)) {
      return "--preset: \"" + *name + "\" is not one of cvn, blender, houdini";
    }
  }
  if (const std::string* name = arguments.value("--codec")) {
    if (!ParseVdbCodec(*name, request.settings.codec)) {
      return "--codec: \"" + *name + "\" is not one of blosc, zip, none";
    }
  }
  double number = 0;
  if (const std::string* text = arguments.value("--clip")) {
    if (!readNumber(*text, number) || number < 0 || number > 3.4e38) {
      return "--clip: \"" + *text + "\" is not a tolerance of 0 or more";
    }
    request.settings.clip.enabled = true;
    request.settings.clip.tolerance = static_cast<float>(number);
  }
  if (const std::string* text = arguments.value("--threads")) {
    if (!readNumber(*text, number) || number < 1 || number > kMaxThreads ||
        number != std::floor(number)) {
      return "--threads: \"" + *text + "\" is not a thread count from 1 to 4096";
    }
    request.threads = static_cast<int>(number);
  }
  return "";
}

}  // namespace

int RunConvertCommand(const std::vector<std::string>& words) {
  const CommandArguments arguments(
      words, {"--frames", "--preset", "--clip", "--codec", "--threads"},
      {"--half", "--particles", "--skip-existing", "--quiet", "--help"});
  if (!arguments.error().empty()) return CommandLineError("convert", arguments.error());
  if (arguments.has("--help")) {
    std::fputs(kConvertHelp, stdout);
    return 0;
  }
  if (arguments.operands().size() != 2) {
    return CommandLineError("convert", "needs a source and a destination (SRC DST)");
  }
  ConversionRequest request;
  request.source = arguments.operands()[0];
  request.destination = arguments.operands()[1];
  const std::string problem = readOptions(arguments, request);
  if (!problem.empty()) return CommandLineError("convert", problem);

  // A write past a file-size limit then fails and is cleaned up, instead of ending the program.
  orv::platform::IgnoreFileSizeLimitSignal();
  ProgressDisplay::Mode mode = ProgressDisplay::Mode::Lines;
  if (arguments.has("--quiet")) {
    mode = ProgressDisplay::Mode::Quiet;
  } else if (orv::platform::IsTerminal(stdout)) {
    mode = ProgressDisplay::Mode::Bar;
  }
  ProgressDisplay display(mode, stdout, stderr);
  const ConversionSummary summary = ConvertFrames(request, &display);
  display.finish(summary);
  return summary.exitStatus();
}
