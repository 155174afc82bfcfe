// Result codes of field3dio's entry points. 0 is success; 3 and 4 mean what they mean for the .orv
// reader and openvdbio, so a host sees one vocabulary whichever reader failed.
#pragma once

namespace Field3dIo {

constexpr int kImportOk = 0;
// Not a Field3D file, cannot be opened, still being written, or HDF5 in a build without it; also
// a null path or frame.
constexpr int kImportCannotOpen = 3;
// The file is damaged or truncated, or the frame would not fit in memory or the frame's int sizes.
constexpr int kImportBroken = 4;
// None of the mapped grids is a layer of the file that can be read: nothing was read.
constexpr int kImportNoMappedGrid = 5;
// The first mapped layer's mapping gives no invertible frame transform.
constexpr int kImportTransformMismatch = 6;

}  // namespace Field3dIo
