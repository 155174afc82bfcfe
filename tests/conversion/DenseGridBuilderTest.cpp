// The leaf-by-leaf grid builder against the plain way: every kept cell written through a value
// accessor, then pruned when clipping. Both must give the same tree.
#include <gtest/gtest.h>
#include <openvdb/tools/Prune.h>

#include <cmath>
#include <cstring>
#include <random>

#include "converter/DenseGridBuilder.h"

namespace {

template <typename GridT, typename ValueAt, typename Kept>
typename GridT::Ptr referenceGrid(const int size[3], ValueAt valueAt, Kept kept, bool clipping) {
  typename GridT::Ptr grid = GridT::create(openvdb::zeroVal<typename GridT::ValueType>());
  auto accessor = grid->getAccessor();
  long long d = 0;
  for (int k = 0; k < size[2]; ++k)
    for (int j = 0; j < size[1]; ++j)
      for (int i = 0; i < size[0]; ++i, ++d) {
        if (kept(valueAt(d))) accessor.setValue(openvdb::Coord(i, j, k), valueAt(d));
      }
  if (clipping) openvdb::tools::prune(grid->tree());
  return grid;
}

// Same leaves and tiles, and every voxel of the box and a margin around it the same, bit for bit.
template <typename GridT>
void expectSameTree(const GridT& built, const GridT& reference, const int size[3]) {
  EXPECT_EQ(reference.tree().leafCount(), built.tree().leafCount());
  EXPECT_EQ(reference.tree().activeTileCount(), built.tree().activeTileCount());
  EXPECT_EQ(reference.activeVoxelCount(), built.activeVoxelCount());
  auto a = built.getConstAccessor();
  auto b = reference.getConstAccessor();
  for (int k = -1; k <= size[2]; ++k)
    for (int j = -1; j <= size[1]; ++j)
      for (int i = -1; i <= size[0]; ++i) {
        typename GridT::ValueType x, y;
        const openvdb::Coord ijk(i, j, k);
        const bool onX = a.probeValue(ijk, x), onY = b.probeValue(ijk, y);
        ASSERT_TRUE(onX == onY && std::memcmp(&x, &y, sizeof x) == 0) << ijk;
      }
}

TEST(DenseGridBuilder, BuildsTheTreeAccessorWritesAndPruningGive) {
  std::mt19937 random(7);
  // Values near the clip, exact zeros, constant runs that make whole leaves tiles, NaN.
  std::uniform_int_distribution<int> pick(0, 9);
  std::uniform_real_distribution<float> spread(-1.0f, 1.0f);
  const int sizes[][3] = {{1, 1, 1}, {9, 17, 3}, {16, 8, 24}};
  for (const auto& size : sizes) {
    const long long cells = static_cast<long long>(size[0]) * size[1] * size[2];
    std::vector<float> channel[3];
    for (auto& values : channel) {
      for (long long d = 0; d < cells; ++d) {
        const int kind = d < cells / 2 ? 9 : pick(random);  // first half: one constant
        values.push_back(kind == 9 ? 0.5f : kind == 8 ? 0.0f : kind == 7 ? NAN : spread(random));
      }
    }
    const float* components[3] = {channel[0].data(), channel[1].data(), channel[2].data()};
    for (const VoxelClip& clip : {VoxelClip(), VoxelClip{true, 0.3f}, VoxelClip{true, 0.0f}}) {
      SCOPED_TRACE(::testing::Message() << size[0] << "x" << size[1] << "x" << size[2] << " clip "
                                        << clip.enabled << " " << clip.tolerance);
      expectSameTree(
          *BuildDenseFloatGrid(components[0], size, clip),
          *referenceGrid<openvdb::FloatGrid>(
              size, [&](long long d) { return components[0][d]; },
              [&](float v) { return !clip.enabled || !(std::fabs(v) <= clip.tolerance); },
              clip.enabled),
          size);
      expectSameTree(
          *BuildDenseVectorGrid(components, size, clip),
          *referenceGrid<openvdb::Vec3SGrid>(
              size,
              [&](long long d) {
                return openvdb::Vec3s(components[0][d], components[1][d], components[2][d]);
              },
              [&](const openvdb::Vec3s& v) {
                return !clip.enabled || !(v.lengthSqr() <= clip.tolerance * clip.tolerance);
              },
              clip.enabled),
          size);
    }
  }
}

}  // namespace
