// A path argument as the library takes it: str or os.PathLike, as UTF-8 text.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

namespace orvpy {

inline std::string PathText(const pybind11::object& path) {
  return pybind11::str(pybind11::module_::import("os").attr("fspath")(path)).cast<std::string>();
}

}  // namespace orvpy
