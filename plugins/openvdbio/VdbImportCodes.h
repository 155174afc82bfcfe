// Result codes of openvdbio's entry points. 0 is success; 3 and 4 mean what they mean for the
// .orv reader, so a host sees one vocabulary whichever reader failed.
#pragma once

namespace OpenVdbIo {

constexpr int kImportOk = 0;
// The file cannot be opened or is not an OpenVDB file; also a null path or frame.
constexpr int kImportCannotOpen = 3;
// The file is broken, or the frame would not fit in memory or in the frame's int dimensions.
constexpr int kImportBroken = 4;
// None of the mapped grids is a float or vec3 grid of the file: nothing was read.
constexpr int kImportNoMappedGrid = 5;
// No mapped grid has a linear, invertible index-to-world transform to lay the frame out.
constexpr int kImportTransformMismatch = 6;

}  // namespace OpenVdbIo
