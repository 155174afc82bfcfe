// Writing small OpenVDB files with chosen grids for the plug-in and host tests.
#pragma once

#include <openvdb/io/File.h>
#include <openvdb/openvdb.h>

#include <string>

// The value PatternFloatGrid gives voxel (i, j, k).
inline float PatternValue(int i, int j, int k, float offset = 0.0f) {
  return i + 100.0f * j + 10000.0f * k + offset;
}

// A float grid named `name` whose voxel (i, j, k) of the box [low, high] is active with value
// i + 100 j + 10000 k + offset.
inline openvdb::FloatGrid::Ptr PatternFloatGrid(const std::string& name, const openvdb::Coord& low,
                                                const openvdb::Coord& high, float offset = 0.0f,
                                                float background = 0.0f) {
  openvdb::FloatGrid::Ptr grid = openvdb::FloatGrid::create(background);
  grid->setName(name);
  auto accessor = grid->getAccessor();
  for (int k = low.z(); k <= high.z(); ++k) {
    for (int j = low.y(); j <= high.y(); ++j) {
      for (int i = low.x(); i <= high.x(); ++i) {
        accessor.setValue(openvdb::Coord(i, j, k), PatternValue(i, j, k, offset));
      }
    }
  }
  return grid;
}

inline void WriteVdb(const std::string& path, const openvdb::GridPtrVec& grids) {
  openvdb::io::File file(path);
  file.write(grids);
  file.close();
}

// A file holding one pattern grid "density" over the box [low, high].
inline void WriteDensityVdb(const std::string& path, const openvdb::Coord& low,
                            const openvdb::Coord& high) {
  openvdb::GridPtrVec grids;
  grids.push_back(PatternFloatGrid("density", low, high));
  WriteVdb(path, grids);
}
