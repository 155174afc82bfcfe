// orv.mappings: compose, decompose and default mapping strings.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

namespace orvpy {

// The mapping string of a dict {id: name} or of an iterable of (id, name) pairs.
std::string ComposeMappings(const pybind11::handle& entries);

void BindMappings(pybind11::module_& module);

}  // namespace orvpy
