// Opening a .f3d file in whichever container holds it, recognised by its first bytes: "Ogawa"
// (read by this plug-in's own reader) or the HDF5 signature (read through libhdf5).
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "plugins/field3dio/Field3dContainer.h"

namespace Field3dIo {

struct OpenedFile {
  std::unique_ptr<Field3dContainer> container;
  unsigned long long bytes = 0;  // the file's size
};

// kImportOk, or an import code (plugins/ImportCodes.h) with `reason`: kImportCannotOpen when the
// file cannot be opened, is neither container, is an Ogawa file still being written or of another
// version, or is HDF5 in a build without it; kImportBroken when its header or HDF5 structure is damaged.
int OpenField3dFile(const char* path, OpenedFile& out, std::string& reason);
// The same for a file in memory, which must outlive the container.
int OpenField3dMemory(const void* data, size_t size, OpenedFile& out, std::string& reason);

}  // namespace Field3dIo
