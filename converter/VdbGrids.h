// OpenVDB building blocks of the export: one float grid from a dense channel array, and the file
// write. Kept apart from the export's control flow so the conversion benchmark can time them.
#pragma once

#include <openvdb/openvdb.h>

#include "converter/IndexToWorld.h"

// A float grid with background 0 named name, holding every cell of the nx*ny*nz box as an active
// voxel with its value from values (x fastest), zeros included; nothing is pruned. Cells are
// written in storage order through one value accessor, so consecutive writes stay in its cached
// leaf. A non-positive size gives an empty grid.
openvdb::FloatGrid::Ptr BuildFloatGrid(const char* name, const float* values, const int size[3]);
// The same into a grid the caller already holds, so that an exception thrown while it is filled
// never destroys a half-built grid during unwinding (its destructor allocates).
void FillFloatGrid(openvdb::FloatGrid& grid, const float* values, const int size[3]);

// Bytes a grid of BuildFloatGrid takes for an nx*ny*nz box: its leaf and internal nodes.
long long FloatGridBytes(const int size[3]);
// Bytes a grid's destructor needs to take it apart: one pointer per leaf, plus a margin.
long long FloatGridTeardownBytes(const int size[3]);

// A linear transform object of its own for each grid, built from matrix.
void AssignIndexToWorld(openvdb::GridPtrVec& grids, const IndexToWorldMatrix& matrix);

// Writes grids in list order with the file metadata "CorvaneVDBVer" = Int32 0, using the library's
// default file options. Throws openvdb::IoError when the file cannot be opened or fully written.
void WriteVdbFile(const char* destination, const openvdb::GridPtrVec& grids);
