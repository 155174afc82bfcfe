// orv._convert: orv.convert on the conversion engine of the orv tool (converter/), linked into
// this module of its own. Frames are converted without the interpreter lock; each finished frame
// is reported to an optional callback as it comes, in frame order.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <string>
#include <vector>

#include "converter/FrameList.h"
#include "converter/SequenceConversion.h"
#include "python/src/PathText.h"
#include "support/FramePattern.h"

namespace py = pybind11;

namespace orvpy {
namespace {

constexpr int kMaxThreads = 4096;

const char* outcomeName(FrameOutcome outcome) {
  switch (outcome) {
    case FrameOutcome::Converted:
      return "converted";
    case FrameOutcome::Skipped:
      return "skipped";
    default:
      return "failed";
  }
}

py::dict frameReport(const FrameResult& result) {
  py::dict report;
  report["frame"] = result.frame == NoFrame ? py::object(py::none()) : py::int_(result.frame);
  report["source"] = result.source;
  report["destination"] = result.destination;
  report["status"] = outcomeName(result.outcome);
  report["reason"] = !result.reason.empty() ? result.reason : result.written.reason;
  report["seconds"] = result.seconds;
  report["bytes_written"] = result.written.bytesWritten;
  report["grids"] = result.written.grids;
  report["points"] = result.written.points;
  report["warnings"] = result.written.warnings;
  return report;
}

// Hands each finished frame to the Python callback; an exception it raises is kept and raised
// once the conversion has ended (frames cannot be stopped half-way).
class CallbackObserver : public ConversionObserver {
 public:
  explicit CallbackObserver(py::object callback) : callback_(std::move(callback)) {}
  void frameFinished(const FrameResult& result, int reported, int total) override {
    if (callback_.is_none()) return;
    py::gil_scoped_acquire locked;
    if (failure_) return;
    try {
      callback_(frameReport(result), reported, total);
    } catch (py::error_already_set& error) {
      failure_ = std::make_unique<py::error_already_set>(std::move(error));
    }
  }
  void raiseFailure() {
    if (failure_) throw std::move(*failure_);
  }

 private:
  py::object callback_;
  std::unique_ptr<py::error_already_set> failure_;
};

std::vector<int> frameList(const py::object& frames) {
  std::vector<int> list;
  if (frames.is_none()) return list;
  if (py::isinstance<py::str>(frames)) {
    std::string reason;
    if (!ParseFrameList(frames.cast<std::string>(), list, &reason)) {
      throw py::value_error("frames: " + reason);
    }
    return list;
  }
  if (py::isinstance<py::int_>(frames)) return {frames.cast<int>()};
  for (const py::handle frame : frames) list.push_back(frame.cast<int>());
  return list;
}

ExportSettings exportSettings(const std::string& preset, const py::object& clip, bool half,
                              const std::string& codec, bool particles) {
  ExportSettings settings = PipelineExportSettings();
  if (!ParseGridPreset(preset, settings.preset)) {
    throw py::value_error("preset '" + preset + "' is not one of cvn, blender, houdini");
  }
  if (!ParseVdbCodec(codec, settings.codec)) {
    throw py::value_error("codec '" + codec + "' is not one of blosc, zip, none");
  }
  if (!clip.is_none()) {
    const double tolerance = clip.cast<double>();
    if (!(tolerance >= 0 && tolerance <= 3.4e38)) {
      throw py::value_error("clip is a tolerance of 0 or more");
    }
    settings.clip.enabled = true;
    settings.clip.tolerance = static_cast<float>(tolerance);
  }
  settings.halfFloat = half;
  settings.particles = particles;
  return settings;
}

py::dict convert(const py::object& source, const py::object& destination, const py::object& frames,
                 const std::string& preset, const py::object& clip, bool half,
                 const py::object& threads, bool particles, const std::string& codec,
                 bool skipExisting, const py::object& progress) {
  ConversionRequest request;
  request.source = PathText(source);
  request.destination = PathText(destination);
  request.frames = frameList(frames);
  request.settings = exportSettings(preset, clip, half, codec, particles);
  request.skipExisting = skipExisting;
  if (!threads.is_none()) {
    request.threads = threads.cast<int>();
    if (request.threads < 1 || request.threads > kMaxThreads) {
      throw py::value_error("threads is a count from 1 to 4096");
    }
  }
  CallbackObserver observer(progress);
  ConversionSummary summary;
  {
    py::gil_scoped_release unlocked;
    summary = ConvertFrames(request, &observer);
  }
  observer.raiseFailure();
  py::list reports;
  for (const FrameResult& result : summary.frames) reports.append(frameReport(result));
  py::dict out;
  out["frames"] = reports;
  out["converted"] = summary.converted;
  out["skipped"] = summary.skipped;
  out["failed"] = summary.failed;
  out["seconds"] = summary.seconds;
  out["refusal"] = summary.refusal;
  out["bad_request"] = summary.badRequest;
  return out;
}

}  // namespace
}  // namespace orvpy

PYBIND11_MODULE(_convert, module) {
  module.doc() = "The conversion engine of the orv package; use it through orv.convert.";
  module.def("convert", &orvpy::convert, py::arg("source"), py::arg("destination"),
             py::arg("frames"), py::arg("preset"), py::arg("clip"), py::arg("half"),
             py::arg("threads"), py::arg("particles"), py::arg("codec"),
             py::arg("skip_existing"), py::arg("progress"));
}
