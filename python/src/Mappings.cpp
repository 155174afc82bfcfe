// orv.mappings: channel mapping strings ("<id>,<grid name>;" per entry) through the library's
// exported string functions.
#include "python/src/Mappings.h"

#include <pybind11/stl.h>

#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "orv/OrvLoader.h"
#include "python/src/LoaderHost.h"
#include "python/src/PathText.h"

namespace py = pybind11;

namespace orvpy {
namespace {

// Calls fill(buffer, size) with growing buffers until it answers 1 (the text fitted).
template <typename Fill>
std::string fittedText(size_t first, Fill fill) {
  for (size_t size = std::max<size_t>(first, 64); size <= INT_MAX; size *= 2) {
    std::string buffer(size, '\0');
    if (fill(buffer.data(), static_cast<int>(size)) == 1) {
      buffer.resize(buffer.find('\0'));
      return buffer;
    }
  }
  throw std::length_error("mapping text too long");
}

std::string compose(const std::vector<std::pair<int, std::string>>& entries) {
  std::vector<int> ids;
  std::vector<const char*> names;
  size_t length = 1;
  for (const auto& [id, name] : entries) {
    if (name.find(';') != std::string::npos || name.find('\0') != std::string::npos) {
      throw py::value_error("a grid name in a mapping cannot hold ';': '" + name + "'");
    }
    ids.push_back(id);
    names.push_back(name.c_str());
    length += name.size() + 16;
  }
  if (entries.size() > INT_MAX) throw py::value_error("too many mapping entries");
  const auto lock = LockLoader();
  return fittedText(length, [&](char* out, int size) {
    return orvComposeChannelMappingsString(out, size, ids.data(), names.data(),
                                           static_cast<int>(entries.size()));
  });
}

std::vector<std::pair<int, std::string>> decompose(const std::string& mappings) {
  const auto lock = LockLoader();
  std::vector<std::pair<int, std::string>> entries;
  for (int index = 0;; ++index) {
    int id = 0;
    int found = -1;
    const std::string name = fittedText(mappings.size() + 1, [&](char* out, int size) {
      found = orvDecomposeChannelMappingsString(&id, out, size, mappings.c_str(), index);
      return found < 0 ? 1 : found;
    });
    if (found < 0) return entries;
    entries.emplace_back(id, name);
  }
}

std::string defaultMappings(const py::object& pathArgument) {
  const std::string path = PathText(pathArgument);
  const auto lock = LockLoader();
  py::gil_scoped_release unlocked;  // reads the files' grid lists through the plug-ins
  return fittedText(1024, [&](char* out, int size) {
    return orvGenerateDefaultChannelMappings(out, size, path.c_str());
  });
}

}  // namespace

std::string ComposeMappings(const py::handle& entries) {
  const py::list items(py::isinstance<py::dict>(entries)
                           ? entries.attr("items")()
                           : py::reinterpret_borrow<py::object>(entries));
  std::vector<std::pair<int, std::string>> pairs;
  for (const py::handle item : items) {
    const py::tuple pair(py::reinterpret_borrow<py::object>(item));
    if (pair.size() != 2)
      throw py::value_error("a mapping entry is a pair (channel id, grid name)");
    pairs.emplace_back(pair[0].cast<int>(), pair[1].cast<std::string>());
  }
  return compose(pairs);
}

void BindMappings(py::module_& parent) {
  py::module_ module = parent.def_submodule(
      "mappings",
      "Channel mapping strings: which grid of a .vdb or .f3d file fills which channel id, as\n"
      "'<id>,<grid name>;' entries.");
  module.def("compose", &ComposeMappings, py::arg("entries"),
             "The mapping string of {id: grid name} or of (id, grid name) pairs, in their order.");
  module.def("decompose", &decompose, py::arg("mappings"),
             "The (id, grid name) pairs of a mapping string, in its order.");
  module.def("default", &defaultMappings, py::arg("path"),
             "The mapping orv.open() uses for a file when none is given (for .vdb and .f3d files\n"
             "from the grids the plug-ins find; the library's own list for .orv files).");
}

}  // namespace orvpy
