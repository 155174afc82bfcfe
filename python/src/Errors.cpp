#include "python/src/Errors.h"

#include "python/src/LibraryLog.h"

namespace py = pybind11;

namespace orvpy {
namespace {

PyObject* orvErrorType = nullptr;

constexpr const char* kOrvErrorDoc =
    "The library refused a file, a channel or a request.\n\n"
    "Attributes:\n"
    "    code: the library's result code (3 cannot open the file or unknown type, 4 damaged\n"
    "        file or memory exhausted, 12 no footer, 2 no plug-in for the type, 9 no mapped\n"
    "        grid, ...), or None when the library gave none.\n"
    "    log: the library's '#' log lines written while the call ran, without the '#'.\n";

}  // namespace

void RegisterOrvError(py::module_& module) {
  orvErrorType = PyErr_NewExceptionWithDoc("orv.OrvError", kOrvErrorDoc, PyExc_Exception, nullptr);
  if (!orvErrorType) throw py::error_already_set();
  module.add_object("OrvError", py::handle(orvErrorType));
}

void RaiseOrvError(const std::string& message, int result, const std::vector<std::string>& log) {
  std::string text = message;
  if (result != 0) text += " (result " + std::to_string(result) + ")";
  for (const std::string& line : log) text += "\n  " + line;
  if (log.empty() && !LogWindow::unreadableReason().empty()) {
    text += "\n  " + LogWindow::unreadableReason();
  }
  py::object error =
      py::reinterpret_steal<py::object>(PyObject_CallFunction(orvErrorType, "s", text.c_str()));
  if (!error) throw py::error_already_set();
  error.attr("code") = result != 0 ? py::object(py::int_(result)) : py::object(py::none());
  py::list lines;
  for (const std::string& line : log) lines.append(line);
  error.attr("log") = lines;
  PyErr_SetObject(orvErrorType, error.ptr());
  throw py::error_already_set();
}

}  // namespace orvpy
