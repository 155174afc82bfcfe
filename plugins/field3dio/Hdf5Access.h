// Opening the HDF5 form of a .f3d file. Builds without libhdf5 (the switch ORV_FIELD3D_HDF5 off)
// link a stand-in whose openers refuse with a reason saying so; the Ogawa form reads either way.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "plugins/field3dio/Field3dContainer.h"

namespace Field3dIo {

// True when this build reads HDF5 files.
bool Hdf5Available();

// Null with `reason` set when the file cannot be opened as HDF5. HDF5's own error printing is off
// while the container lives; its messages reach `reason` instead.
std::unique_ptr<Field3dContainer> OpenHdf5File(const char* path, std::string& reason);
// The same for a file image in memory (copied).
std::unique_ptr<Field3dContainer> OpenHdf5Image(const void* data, size_t size, std::string& reason);

}  // namespace Field3dIo
