// The grids of an OpenVDB file as the OpenVDB library lists them: the file's format version, every
// grid with its value type and active voxel count, and its point grids with their point counts and
// attributes. Complements what the loader reads from a .vdb file (float and vec3 grids only).
#pragma once

#include <string>
#include <vector>

#include "converter/FileInspection.h"

struct VdbFileListing {
  int formatVersion = -1;
  std::vector<OtherGridInfo> grids;           // every grid but the point grids, in file order
  std::vector<ParticleGroupInfo> pointGrids;  // each point grid as a particle group
};

// False with `reason` when the library cannot read the file.
bool ListVdbFile(const std::string& path, VdbFileListing& listing, std::string& reason);
