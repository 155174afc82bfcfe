// Frames shaped like the first frames of large simulations: huge, nearly empty domains whose
// channels are stored as constants. Each takes several GB, so they run only when ORV_LARGE_TESTS
// is set (one at a time: peak about 6 GB); `make test` skips them.
#include <gtest/gtest.h>

#include <cstdlib>

#include "WrittenFrames.h"

namespace {

using namespace written;

// Skipping from SetUp skips the body; a skip inside a helper would only leave the helper.
class OptIn : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("ORV_LARGE_TESTS")) GTEST_SKIP() << "set ORV_LARGE_TESTS=1 to run";
  }
};

GridChannel constantChannel(int id, float value) {
  GridChannel c;
  c.id = id;
  c.kind = GridStreamKind::Constant;
  c.constant = value;
  return c;
}

// Every channel of the list reads non-null, with the value at its last cell, and stays held.
struct LargeGrid {
  int edge;
  std::vector<int> stored;     // constant channels, value id / 10
  bool packedColourOnly;       // a uniform packed colour instead
};

class LargeGrids : public OptIn, public ::testing::WithParamInterface<LargeGrid> {};

TEST_P(LargeGrids, EveryChannelDecodesAndStaysHeld) {
  const LargeGrid& shape = GetParam();
  Frame description = gridFrame(6, shape.edge, shape.edge, shape.edge);
  for (int id : shape.stored) description.channels.push_back(constantChannel(id, id / 10.0f));
  if (shape.packedColourOnly) {
    GridChannel colour;
    colour.id = 18;
    colour.constantPacked = 0xFF8000u;
    description.channels.push_back(colour);
  }
  CorvaneFrameData frame;
  ASSERT_EQ(load(frame, description), 0);
  const long long last = frame.voxelCount() - 1;
  std::vector<const float*> held;
  for (int id : shape.stored) {
    const float* values = frame.getChannel(id);
    ASSERT_NE(values, nullptr) << id;
    EXPECT_EQ(values[last], id / 10.0f);
    held.push_back(values);
  }
  if (shape.packedColourOnly) {
    for (int id : {7, 8, 9}) {
      ASSERT_NE(frame.getChannel(id), nullptr) << id;
      EXPECT_FLOAT_EQ(frame.getChannel(id)[last], id == 7 ? 1.0f : id == 8 ? 0.5019608f : 0.0f);
    }
  }
  for (size_t k = 0; k < held.size(); ++k) EXPECT_EQ(frame.getChannel(shape.stored[k]), held[k]);
}

INSTANTIATE_TEST_SUITE_P(
    ProductionShapes, LargeGrids,
    ::testing::Values(LargeGrid{820, {1, 2}, false},               // empty 820^3, two constants
                      LargeGrid{720, {}, true},                    // packed colour only
                      LargeGrid{640, {1, 2, 4, 5, 6}, false}));    // five channels kept

using LargeParticleGroups = OptIn;

TEST_F(LargeParticleGroups, AConstantVelocityOf90MillionParticlesDecodes) {
  constexpr int kParticles = 90 * 1000 * 1000;
  const std::vector<char> constantZone = [] {
    std::vector<char> zone;
    ByteSink out(zone);
    out.put<unsigned short>(0xFC01);
    out.put<unsigned char>(1);
    out.i32(3 * kParticles);
    out.f32(2.5f);
    return zone;
  }();
  PGroup group;
  group.particleCount = kParticles;
  ASSERT_TRUE(group.setCompressedChannel(1, 2, constantZone.data(), constantZone.size()));
  float velocity[3];
  ASSERT_EQ(group.getParticle(kParticles - 1, 1, velocity), 1);
  EXPECT_EQ(velocity[2], 2.5f);
}

}  // namespace
