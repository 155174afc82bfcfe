// The native part of the orv package: frames opened through liborvloader.so, their channels as
// numpy arrays, particle groups, mapping strings and the library's errors.
#include <pybind11/pybind11.h>

#include <memory>
#include <string>

#include "orv/OrvLoader.h"
#include "python/src/Errors.h"
#include "python/src/Frame.h"
#include "python/src/LoaderHost.h"
#include "python/src/Mappings.h"
#include "python/src/ParticleGroup.h"
#include "python/src/PathText.h"
#include "support/platform/Platform.h"

namespace py = pybind11;

namespace orvpy {
namespace {

std::unique_ptr<Frame> openFrame(const py::object& path, const py::object& mapping, bool headerOnly,
                                 const py::object& maxVoxels) {
  OpenRequest request;
  request.path = PathText(path);
  request.headerOnly = headerOnly;
  std::string mappingText;
  if (!mapping.is_none()) {
    mappingText =
        py::isinstance<py::str>(mapping) ? mapping.cast<std::string>() : ComposeMappings(mapping);
    request.mapping = mappingText.c_str();
  }
  if (!maxVoxels.is_none()) {
    request.maxVoxels = maxVoxels.cast<long long>();
    if (request.maxVoxels < 0) throw py::value_error("max_voxels must be 0 or more");
  }
  OpenedFrame opened;
  {
    py::gil_scoped_release unlocked;
    opened = OpenFrame(request);
  }
  if (!opened.frame) {
    std::string message = "cannot open " + request.path;
    if (!orv::platform::FileAccessible(request.path.c_str(), orv::platform::Access::Exists)) {
      message += ": no such file";
    }
    RaiseOrvError(message, opened.result, opened.log);
  }
  return std::make_unique<Frame>(opened, request.path);
}

}  // namespace
}  // namespace orvpy

PYBIND11_MODULE(_native, module) {
  module.doc() = "The native part of the orv package; use it through orv.";
  orvpy::RegisterOrvError(module);
  orvpy::BindFrame(module);
  orvpy::BindParticleGroup(module);
  orvpy::BindMappings(module);
  module.def("open", &orvpy::openFrame, py::arg("path"), py::arg("mapping") = py::none(),
             py::arg("header_only") = false, py::arg("max_voxels") = py::none(), R"doc(
Opens a frame: an .orv cache file, or a .vdb or .f3d file through the IO plug-ins.

mapping: which grid of a .vdb or .f3d file fills which channel, as a mapping string or
    {channel id: grid name}; None: the default mapping of orv.mappings.default(path).
header_only: read only what describes the frame (no channel can be read).
max_voxels: the most voxels an OpenVDB import may produce.

Frames opened without header_only and max_voxels are shared with other opens of the same
unchanged file. Raises OrvError with the library's result code and log when the file
cannot be loaded.)doc");
  module.def(
      "version", [] { return CorvaneSDKGetVersionNumber(); },
      "The library's version number (0x31200).");
}
