#include "converter/DenseGridBuilder.h"

#include <openvdb/tools/Prune.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

// One cell's value and whether it stays active under the clip.
struct ScalarCells {
  const float* values;
  float tolerance;
  bool clipping;
  float value(long long d) const { return values[d]; }
  bool kept(float v) const { return !clipping || !(std::fabs(v) <= tolerance); }
};

struct VectorCells {
  const float* const* components;
  double toleranceSquared;
  bool clipping;
  openvdb::Vec3s value(long long d) const {
    return openvdb::Vec3s(components[0][d], components[1][d], components[2][d]);
  }
  bool kept(const openvdb::Vec3s& v) const {
    if (!clipping) return true;
    const double lengthSquared = static_cast<double>(v[0]) * v[0] +
                                 static_cast<double>(v[1]) * v[1] +
                                 static_cast<double>(v[2]) * v[2];
    return !(lengthSquared <= toleranceSquared);
  }
};

template <typename GridT, typename Cells>
void fillGrid(GridT& grid, const Cells& cells, const int size[3]) {
  using ValueT = typename GridT::ValueType;
  using LeafT = typename GridT::TreeType::LeafNodeType;
  constexpr int kLeafSide = LeafT::DIM;
  const ValueT background = grid.background();
  const int nx = size[0], ny = size[1], nz = size[2];
  if (nx <= 0 || ny <= 0 || nz <= 0) return;

  typename GridT::TreeType& tree = grid.tree();
  const int leavesAlongX = (nx + kLeafSide - 1) / kLeafSide;
  std::vector<std::unique_ptr<LeafT>> row(leavesAlongX);
  std::vector<char> touched(leavesAlongX);
  for (int bz = 0; bz < nz; bz += kLeafSide) {
    for (int by = 0; by < ny; by += kLeafSide) {
      for (int b = 0; b < leavesAlongX; ++b) {
        row[b].reset(new LeafT(openvdb::Coord(b * kLeafSide, by, bz), background, false));
        touched[b] = 0;
      }
      const int depth = std::min(kLeafSide, nz - bz), height = std::min(kLeafSide, ny - by);
      for (int k = 0; k < depth; ++k) {
        for (int j = 0; j < height; ++j) {
          const long long start =
              static_cast<long long>(nx) * ((by + j) + static_cast<long long>(ny) * (bz + k));
          const openvdb::Index inLeaf = (j << LeafT::LOG2DIM) | k;
          for (int i = 0; i < nx; ++i) {
            const ValueT value = cells.value(start + i);
            if (!cells.kept(value)) continue;
            const int b = i / kLeafSide;
            row[b]->setValueOn(((i % kLeafSide) << (2 * LeafT::LOG2DIM)) | inLeaf, value);
            touched[b] = 1;
          }
        }
      }
      for (int b = 0; b < leavesAlongX; ++b) {
        if (touched[b]) tree.addLeaf(row[b].release());
      }
    }
  }
  if (cells.clipping) openvdb::tools::prune(tree, openvdb::zeroVal<ValueT>(), /*threaded=*/false);
}

}  // namespace

void FillDenseFloatGrid(openvdb::FloatGrid& grid, const float* values, const int size[3],
                        const VoxelClip& clip) {
  fillGrid(grid, ScalarCells{values, clip.tolerance, clip.enabled}, size);
}

void FillDenseVectorGrid(openvdb::Vec3SGrid& grid, const float* const components[3],
                         const int size[3], const VoxelClip& clip) {
  const double tolerance = clip.tolerance;
  fillGrid(grid, VectorCells{components, tolerance * tolerance, clip.enabled}, size);
}

openvdb::FloatGrid::Ptr BuildDenseFloatGrid(const float* values, const int size[3],
                                            const VoxelClip& clip) {
  openvdb::FloatGrid::Ptr grid = openvdb::FloatGrid::create(0.0f);
  FillDenseFloatGrid(*grid, values, size, clip);
  return grid;
}

openvdb::Vec3SGrid::Ptr BuildDenseVectorGrid(const float* const components[3], const int size[3],
                                             const VoxelClip& clip) {
  openvdb::Vec3SGrid::Ptr grid = openvdb::Vec3SGrid::create(openvdb::Vec3s(0.0f));
  FillDenseVectorGrid(*grid, components, size, clip);
  return grid;
}
