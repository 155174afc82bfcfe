// Reading converted .vdb files back for the tests.
#pragma once

#include <gtest/gtest.h>
#include <openvdb/openvdb.h>

#include <string>
#include <vector>

struct VdbContents {
  std::vector<openvdb::FloatGrid::Ptr> grids;  // ordered by name, as the library reads them
  openvdb::MetaMap::Ptr fileMetadata;
};

// Reads every grid and the file metadata with the library's file reader; fails the current test
// when the file cannot be read.
VdbContents ReadVdb(const std::string& path);

// Grid names in contents order.
std::vector<std::string> GridNames(const VdbContents& contents);

// Grid names as the file lists them, read from its grid descriptors (the library's readers hand
// grids back ordered by name, so the written order is checked on the file itself).
std::vector<std::string> GridNamesInFileOrder(const std::string& path);

// True when grid holds exactly the cells of the nx*ny*nz box as active voxels, each value bit for
// bit equal to values (x fastest), and nothing else; explains the first mismatch otherwise.
::testing::AssertionResult HoldsDenseValues(const openvdb::FloatGrid& grid, const float* values,
                                            const int size[3]);
