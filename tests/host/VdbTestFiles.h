// Writing small OpenVDB files with chosen grids for the plug-in and host tests.
#pragma once

#include <openvdb/io/File.h>
#include <openvdb/openvdb.h>

#include <string>

// The value PatternFloatGrid gives voxel (i, j, k).
inline float PatternValue(int i, int j, int k, float offset = 0.0f) {
  return i + 100.0f * j + 10000.0f * k + offset;
}

// A grid of type GridT named `name` whose voxels (i, j, k) of the box [low, high] are active with
// value(i, j, k).
template <typename GridT, typename ValueOf>
typename GridT::Ptr FilledGrid(const std::string& name, const openvdb::Coord& low, const openvdb::Coord& high,
                               ValueOf value, typename GridT::ValueType background = {}) {
  typename GridT::Ptr grid = GridT::create(background);
  grid->setName(name);
  auto accessor = grid->getAccessor();
  for (int k = low.z(); k <= high.z(); ++k) {
    for (int j = low.y(); j <= high.y(); ++j) {
      for (int i = low.x(); i <= high.x(); ++i) accessor.setValue(openvdb::Coord(i, j, k), value(i, j, k));
    }
  }
  return grid;
}

// A float grid named `name` whose voxel (i, j, k) of the box [low, high] is active with value
// i + 100 j + 10000 k + offset.
inline openvdb::FloatGrid::Ptr PatternFloatGrid(const std::string& name, const openvdb::Coord& low,
                                                const openvdb::Coord& high, float offset = 0.0f,
                                                float background = 0.0f) {
  return FilledGrid<openvdb::FloatGrid>(name, low, high, [offset](int i, int j, int k) { return PatternValue(i, j, k, offset); },
                                        background);
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
