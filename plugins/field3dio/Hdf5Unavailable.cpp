// The HDF5 openers of a build without libhdf5.
#include "plugins/field3dio/Hdf5Access.h"

namespace Field3dIo {

namespace {
const char* const kNoHdf5 = "this build reads only the Ogawa form of Field3D files, not HDF5";
}

bool Hdf5Available() { return false; }

std::unique_ptr<Field3dContainer> OpenHdf5File(const char*, std::string& reason) {
  reason = kNoHdf5;
  return nullptr;
}

std::unique_ptr<Field3dContainer> OpenHdf5Image(const void*, size_t, std::string& reason) {
  reason = kNoHdf5;
  return nullptr;
}

}  // namespace Field3dIo
