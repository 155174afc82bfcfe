// The HDF5 writer of a build without libhdf5: there is none.
#include "tools/field3d/TreeWriter.h"

namespace orv::field3d {

std::unique_ptr<TreeWriter> MakeHdf5Writer(const std::string&) { return nullptr; }

}  // namespace orv::field3d
