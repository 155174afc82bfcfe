// Result codes of both IO plug-ins' entry points (openvdbio and field3dio). 0 is success; 3 and 4
// mean what they mean for the .orv reader, so a host sees one vocabulary whichever reader failed.
#pragma once

constexpr int kImportOk = 0;
// The file cannot be opened or is not a file of the plug-in's format (for Field3D also: still
// being written, or HDF5 in a build without it); also a null path or frame.
constexpr int kImportCannotOpen = 3;
// The file is damaged or truncated, or the frame would not fit in memory or in the frame's int
// sizes.
constexpr int kImportBroken = 4;
// None of the mapped grids is a readable grid of the file (a float or vec3 grid, a Field3D layer):
// nothing was read.
constexpr int kImportNoMappedGrid = 5;
// No mapped grid gives a linear, invertible index-to-world transform to lay the frame out.
constexpr int kImportTransformMismatch = 6;
