// orv.OrvError: the library refused something, with its result code and its '#' lines.
#pragma once

#include <pybind11/pybind11.h>

#include <string>
#include <vector>

namespace orvpy {

void RegisterOrvError(pybind11::module_& module);

// Raises orv.OrvError: `message` first, then the log lines (or why none could be read).
// result 0: the library reported no code.
[[noreturn]] void RaiseOrvError(const std::string& message, int result,
                                const std::vector<std::string>& log);

}  // namespace orvpy
