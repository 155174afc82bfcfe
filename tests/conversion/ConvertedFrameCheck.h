// Checks a converted .vdb file against the frame it was made from.
#pragma once

#include <string>
#include <vector>

class IOrv;

struct ExpectedGrid {
  std::string name;
  int channelId;
};

// The grids a file converted from frame must hold, in file order: smoke, temperature and fuel when
// present, then velocity and colour as three grids each when all three components are present.
std::vector<ExpectedGrid> ExpectedGrids(IOrv& frame);

// Checks (with gtest expectations) that the file at vdbPath holds exactly the expected grids in file
// order, each with nx*ny*nz active voxels whose values equal the frame's channel bit for bit, a
// linear transform that undoes the frame's world-to-grid transform, and the file metadata
// "CorvaneVDBVer" = Int32 0.
void ExpectConvertedFrame(const std::string& vdbPath, IOrv& frame);
