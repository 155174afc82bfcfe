// The expectations of Field3D sample files (an expected.json written beside the files by the
// library that wrote them): per layer its partition, boxes, mapping and the value of every voxel,
// evaluated from the file's value lists or rules with the conventions the JSON states (Python
// arithmetic on float i, j, k and integer block numbers, rounded to the layer's element type).
#pragma once

#include <array>
#include <string>
#include <vector>

#include "tools/field3d/Field3dTestFile.h"

struct ExpectedLayer {
  std::string name;
  std::string className;
  int components = 1;
  bool readable = true;
  orv::field3d::TestLayer shape;  // name, extents and window, for world positions
  // What a reader returns for every voxel of the window as a float, x fastest, components
  // interleaved.
  std::vector<float> values;

  float at(int c, long long i, long long j, long long k) const;
};

struct ExpectedPartition {
  std::string group;  // "<name>.<n>"
  orv::field3d::TestMapping mapping;
  std::vector<ExpectedLayer> layers;
};

struct ExpectedFile {
  std::string file;
  bool mustFail = false;  // unfinished or truncated: a reader must refuse it
  std::vector<ExpectedPartition> partitions;
};

// The files described by `json`; false with `error` when it cannot be read or a rule is not
// understood.
bool LoadExpectedFiles(const std::string& json, std::vector<ExpectedFile>& files, std::string& error);
