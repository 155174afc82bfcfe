// OpenVDB building blocks of the export: one float grid from a dense channel array, the grids'
// transform, and the file write. Kept apart from the export's control flow so the conversion
// benchmark can time them.
#pragma once

#include <openvdb/openvdb.h>

#include <string>

#include "converter/ExportSettings.h"
#include "converter/IndexToWorld.h"

// A float grid with background 0 named name, holding every cell of the nx*ny*nz box as an active
// voxel with its value from values (x fastest), zeros included; nothing is pruned. A non-positive
// size gives an empty grid.
openvdb::FloatGrid::Ptr BuildFloatGrid(const char* name, const float* values, const int size[3]);

// Bytes a grid with every cell of an nx*ny*nz box active takes (its leaf and internal nodes): a
// float grid for 1 component, a vec3 grid for 3. Clipped grids take at most that.
long long DenseGridBytes(const int size[3], int components);
// Bytes a grid's destructor needs to take it apart: one pointer per leaf, plus a margin.
long long GridTeardownBytes(const int size[3]);

// The linear transform built from matrix.
openvdb::math::Transform::Ptr MakeIndexToWorld(const IndexToWorldMatrix& matrix);

// A linear transform object of its own for each grid, built from matrix.
void AssignIndexToWorld(openvdb::GridPtrVec& grids, const IndexToWorldMatrix& matrix);

struct VdbWriteOptions {
  VdbCodec codec = VdbCodec::LibraryDefault;
  // Write a temporary file beside the destination and rename it over the destination only when
  // the stream reported no error and the file on disk has every byte written; on any failure the
  // temporary file is removed and nothing appears under the destination name.
  bool atomic = false;
  openvdb::MetaMap extraMetadata;  // file metadata written after "CorvaneVDBVer"
};

// Writes grids in list order with the file metadata "CorvaneVDBVer" = Int32 0. Throws
// openvdb::IoError when the file cannot be opened or fully written. Returns the bytes written.
long long WriteVdbFile(const char* destination, const openvdb::GridPtrVec& grids,
                       const VdbWriteOptions& options = VdbWriteOptions());
