#include "tests/conversion/ConvertedFrameCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "orv/IOrv.h"
#include "tests/conversion/VdbReadBack.h"

namespace {

const ExpectedGrid kScalars[] = {{"Smoke_cvn", 2}, {"Temperature_cvn", 1}, {"Fuel_cvn", 10}};
const ExpectedGrid kTriples[][3] = {
    {{"VelocityX_cvn", 4}, {"VelocityY_cvn", 5}, {"VelocityZ_cvn", 6}},
    {{"ColorR_cvn", 7}, {"ColorG_cvn", 8}, {"ColorB_cvn", 9}},
};

// Applies the frame's world-to-grid transform (row vectors: p * M + t) in double precision.
openvdb::Vec3d worldToGrid(const float (&transform)[12], const openvdb::Vec3d& p) {
  openvdb::Vec3d g;
  for (int c = 0; c < 3; ++c) {
    g[c] = p[0] * transform[c] + p[1] * transform[3 + c] + p[2] * transform[6 + c] +
           transform[9 + c];
  }
  return g;
}

// The grid's index-to-world transform must send every probe index back to itself through the
// frame's world-to-grid transform.
void expectUndoesFrameTransform(const openvdb::math::Transform& transform,
                                const float (&frameTransform)[12], const int size[3]) {
  EXPECT_TRUE(transform.isLinear());
  const openvdb::Vec3d probes[] = {
      {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {double(size[0]), double(size[1]), double(size[2])}};
  for (const openvdb::Vec3d& index : probes) {
    const openvdb::Vec3d back = worldToGrid(frameTransform, transform.indexToWorld(index));
    for (int c = 0; c < 3; ++c) {
      const double tolerance = 1e-5 * std::max(1.0, std::fabs(index[c]));
      EXPECT_NEAR(index[c], back[c], tolerance) << "index " << index << ", axis " << c;
    }
  }
}

}  // namespace

std::vector<ExpectedGrid> ExpectedGrids(IOrv& frame) {
  std::vector<ExpectedGrid> grids;
  for (const ExpectedGrid& scalar : kScalars) {
    if (frame.hasChannel(scalar.channelId)) grids.push_back(scalar);
  }
  for (const auto& triple : kTriples) {
    if (std::all_of(std::begin(triple), std::end(triple),
                    [&](const ExpectedGrid& g) { return frame.hasChannel(g.channelId) != 0; })) {
      grids.insert(grids.end(), std::begin(triple), std::end(triple));
    }
  }
  return grids;
}

void ExpectConvertedFrame(const std::string& vdbPath, IOrv& frame) {
  SCOPED_TRACE(vdbPath);
  const std::vector<ExpectedGrid> expected = ExpectedGrids(frame);
  std::vector<std::string> expectedNames;
  for (const ExpectedGrid& grid : expected) expectedNames.push_back(grid.name);
  EXPECT_EQ(expectedNames, GridNamesInFileOrder(vdbPath));

  int size[3] = {0, 0, 0};
  float transform[12];
  frame.getGridSize(size);
  frame.getTransform(transform);
  const VdbContents contents = ReadVdb(vdbPath);
  ASSERT_EQ(expected.size(), contents.grids.size());
  for (const ExpectedGrid& grid : expected) {
    SCOPED_TRACE(grid.name);
    auto found = std::find_if(contents.grids.begin(), contents.grids.end(),
                              [&](const openvdb::FloatGrid::Ptr& g) { return g->getName() == grid.name; });
    ASSERT_NE(found, contents.grids.end());
    const float* values = frame.getChannel(grid.channelId);
    ASSERT_NE(values, nullptr);
    EXPECT_TRUE(HoldsDenseValues(**found, values, size));
    expectUndoesFrameTransform((*found)->transform(), transform, size);
  }

  ASSERT_TRUE(contents.fileMetadata);
  EXPECT_EQ(1u, contents.fileMetadata->metaCount()) << "only the version entry is written";
  openvdb::Int32Metadata::Ptr version =
      contents.fileMetadata->getMetadata<openvdb::Int32Metadata>("CorvaneVDBVer");
  ASSERT_TRUE(version);
  EXPECT_EQ(0, version->value());
}
