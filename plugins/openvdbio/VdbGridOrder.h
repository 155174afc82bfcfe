// The order in which an OpenVDB file stores its grids. io::File lists grids sorted by name; the
// default mappings are built in the order grids were written, so that order is read from the
// file's grid descriptors.
#pragma once

#include <string>
#include <vector>

namespace OpenVdbIo {

// The grid names of the file at `path` in stored order (duplicates repeated); empty when the file
// cannot be read this way (for instance an old file without grid offsets). Throws nothing.
std::vector<std::string> StoredGridOrder(const std::string& path);

}  // namespace OpenVdbIo
