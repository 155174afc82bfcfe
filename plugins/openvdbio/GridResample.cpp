#include "plugins/openvdbio/GridResample.h"

#include <openvdb/tools/Interpolation.h>

#include <cmath>
#include <memory>
#include <new>
#include <vector>

#include "plugins/openvdbio/VdbDenseFill.h"
#include "plugins/openvdbio/VdbFrameLayout.h"

namespace OpenVdbIo {

namespace {

using openvdb::math::Mat4d;
using openvdb::math::Vec3d;

// Index positions a Coord can hold with room for the sampler's upper neighbour.
constexpr double kAddressable = 2147483000.0;

// A region to sample densely may hold this many times the frame's cells (plus a little for tiny
// frames): a coarser or rotated grid needs fewer, a finer one up to 8 per cell. Beyond it the
// copy would cost more than sampling each cell through the tree.
constexpr long long kRegionPerCell = 8;
constexpr long long kRegionSlack = 1 << 16;

bool addressable(const Vec3d& p) {
  return std::fabs(p[0]) <= kAddressable && std::fabs(p[1]) <= kAddressable && std::fabs(p[2]) <= kAddressable;
}

// Axis a of the row vector (i, j, k, 1) * g. The plain and the row-wise path both compute positions
// with this one expression, so they sample at identical positions.
inline double affineAxis(const Mat4d& g, int a, double i, double j, double k) {
  return ((i * g(0, a) + j * g(1, a)) + k * g(2, a)) + g(3, a);
}

// The blend of BoxSampler::trilinearInterpolation, written the same way.
template <typename Value>
inline Value blend(const Value& a, const Value& b, double weight) {
  const auto step = (b - a) * weight;
  return static_cast<Value>(a + Value(step));
}

// Where each cell lies in the grid's index space.
struct CellToGridIndex {
  bool affine = false;
  Mat4d matrix;  // affine: cell to grid index
  Mat4d cellToIndex;
  const openvdb::math::Transform* frame = nullptr;
  const openvdb::math::Transform* grid = nullptr;

  Vec3d operator()(double i, double j, double k) const {
    if (affine) return Vec3d(affineAxis(matrix, 0, i, j, k), affineAxis(matrix, 1, i, j, k), affineAxis(matrix, 2, i, j, k));
    const Vec3d index(affineAxis(cellToIndex, 0, i, j, k), affineAxis(cellToIndex, 1, i, j, k),
                      affineAxis(cellToIndex, 2, i, j, k));
    return grid->worldToIndex(frame->indexToWorld(index));
  }

  bool axisAligned() const {
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) {
        if (r != c && matrix(r, c) != 0.0) return false;
      }
    }
    return affine;
  }
};

// Bytes of a budget held for the life of the object, when it grants them; refused quietly, since
// the caller has a way that needs no memory.
class WorkingMemory {
 public:
  WorkingMemory(orv::DecodeBudget& budget, long long bytes) : budget_(budget), bytes_(budget.reserve(bytes) ? bytes : -1) {}
  ~WorkingMemory() {
    if (granted()) budget_.release(bytes_);
  }
  WorkingMemory(const WorkingMemory&) = delete;
  WorkingMemory& operator=(const WorkingMemory&) = delete;
  bool granted() const { return bytes_ >= 0; }

 private:
  orv::DecodeBudget& budget_;
  long long bytes_;
};

template <typename Value>
void put(const ChannelTargets& targets, long long cell, const Value& value, int onlyComponent) {
  for (int c = 0; c < ComponentCount<Value>(); ++c) {
    if (targets.component[c] && (onlyComponent < 0 || c == onlyComponent)) {
      targets.component[c][cell] = static_cast<float>(ComponentOf(value, c));
    }
  }
}

template <typename GridT>
class CellSampler {
 public:
  using TreeT = typename GridT::TreeType;
  using ValueT = typename GridT::ValueType;

  CellSampler(const GridT& grid, bool staggered, const CellToGridIndex& map, const CellPlacement& placement,
              const ChannelTargets& targets, ParallelRunner& runner)
      : grid_(grid), staggered_(staggered), map_(map), targets_(targets), runner_(runner) {
    for (int a = 0; a < 3; ++a) size_[a] = placement.size[a];
  }

  void run(orv::DecodeBudget& budget) {
    if (!map_.axisAligned() || !sampleByRows(budget)) sampleEachCell();
  }

 private:
  template <typename Tree>
  ValueT sample(const Tree& tree, const Vec3d& p) const {
    if (!addressable(p)) return grid_.background();
    if constexpr (ComponentCount<ValueT>() == 3) {
      if (staggered_) return openvdb::tools::StaggeredBoxSampler::sample(tree, p);
    }
    return openvdb::tools::BoxSampler::sample(tree, p);
  }

  // The plain path: OpenVDB's sampler at every cell, through the tree.
  void sampleEachCell() {
    const long long nx = size_[0], ny = size_[1], rows = ny * size_[2];
    runner_.forRange(rows, [&](long long first, long long last) {
      const auto accessor = grid_.getConstUnsafeAccessor();
      for (long long row = first; row < last; ++row) {
        const double j = static_cast<double>(row % ny), k = static_cast<double>(row / ny);
        for (long long i = 0; i < nx; ++i) put(targets_, i + nx * row, sample(accessor, map_(static_cast<double>(i), j, k)), -1);
      }
    });
  }

  // One axis of the positions: the lower voxel and the blend weight of every cell along it.
  struct AxisSamples {
    std::vector<int> lower;
    std::vector<double> weight;
  };

  // The row-wise path for axis-aligned placements: BoxSampler's blends in its own order (z, then
  // y, then x), with the z and y blends of each voxel column of a row done once for all the cells
  // that share it. A staggered grid takes each component from positions moved half a voxel along
  // its axis, as StaggeredBoxSampler does. False when a position is not addressable or the dense
  // region is not granted; nothing is written then.
  bool sampleByRows(orv::DecodeBudget& budget) {
    const int passes = staggered_ ? 3 : 1;
    std::vector<AxisSamples> axes(3 * passes);
    openvdb::Coord low(INT32_MAX), high(INT32_MIN);
    for (int pass = 0; pass < passes; ++pass) {
      for (int a = 0; a < 3; ++a) {
        AxisSamples& samples = axes[3 * pass + a];
        for (int t = 0; t < size_[a]; ++t) {
          const double cell[3] = {a == 0 ? t : 0.0, a == 1 ? t : 0.0, a == 2 ? t : 0.0};
          double p = affineAxis(map_.matrix, a, cell[0], cell[1], cell[2]);
          if (staggered_) p += (a == pass ? 0.5 : 0.0);
          if (!(std::fabs(p) <= kAddressable)) return false;
          const int lower = static_cast<int>(std::floor(p));
          samples.lower.push_back(lower);
          samples.weight.push_back(p - lower);
          low[a] = std::min(low[a], lower);
          high[a] = std::max(high[a], lower + 1);
        }
      }
    }
    const openvdb::CoordBBox region(low, high);
    long long voxels = 1, cells = 1, bytes = 0;
    for (int a = 0; a < 3; ++a) {
      cells *= size_[a];  // the layout keeps it below LLONG_MAX / 8
      if (__builtin_mul_overflow(voxels, static_cast<long long>(high[a]) - low[a] + 1, &voxels)) return false;
    }
    if (voxels > kRegionPerCell * cells + kRegionSlack || !orv::DecodedByteCount(voxels, sizeof(ValueT), bytes)) {
      return false;
    }
    const WorkingMemory held(budget, bytes);
    const long long width = region.dim().x();
    std::unique_ptr<ValueT[]> window(held.granted() ? new (std::nothrow) ValueT[voxels] : nullptr);
    std::vector<std::vector<ValueT>> columns;
    try {
      if (window) columns.assign(runner_.jobs(), std::vector<ValueT>(static_cast<size_t>(width)));
    } catch (const std::bad_alloc&) {
      window.reset();
    }
    if (!window) return false;
    VdbDenseFill<TreeT>(grid_.tree(), region).copy(ValueWriter<ValueT>{window.get()}, runner_);

    const long long nx = size_[0], ny = size_[1], rows = ny * size_[2], height = region.dim().y();
    runner_.everyJob([&](int job, int jobs) {
      ValueT* column = columns[job].data();
      for (long long row = rows * job / jobs; row < rows * (job + 1) / jobs; ++row) {
        const long long j = row % ny, k = row / ny;
        for (int pass = 0; pass < passes; ++pass) {
          const AxisSamples& x = axes[3 * pass];
          const AxisSamples& y = axes[3 * pass + 1];
          const AxisSamples& z = axes[3 * pass + 2];
          const long long y0 = y.lower[j] - low.y(), z0 = z.lower[k] - low.z();
          const ValueT* near = window.get() + width * (y0 + height * z0);  // (y0, z0)
          const ValueT* above = near + width * height;                      // (y0, z0 + 1)
          for (long long v = 0; v < width; ++v) {
            column[v] = blend(blend(near[v], above[v], z.weight[k]), blend(near[v + width], above[v + width], z.weight[k]),
                              y.weight[j]);
          }
          for (long long i = 0; i < nx; ++i) {
            const long long v = x.lower[i] - low.x();
            put(targets_, i + nx * row, blend(column[v], column[v + 1], x.weight[i]), staggered_ ? pass : -1);
          }
        }
      }
    });
    return true;
  }

  const GridT& grid_;
  bool staggered_;
  const CellToGridIndex& map_;
  const ChannelTargets& targets_;
  ParallelRunner& runner_;
  int size_[3];
};

}  // namespace

bool CanBeSampled(const openvdb::GridBase& grid) {
  const openvdb::math::Transform& transform = grid.constTransform();
  if (!transform.isLinear()) return true;  // OpenVDB's non-linear maps invert themselves
  const double determinant = LinearMatrix(transform).getMat3().det();
  return determinant != 0.0 && std::isfinite(determinant);
}

bool SampleGridAtCells(const openvdb::GridBase& grid, bool sameTransform, const CellPlacement& placement,
                       const ChannelTargets& targets, ParallelRunner& runner, orv::DecodeBudget& budget) {
  if (!CanBeSampled(grid)) return false;
  CellToGridIndex map;
  map.cellToIndex = placement.cellToIndex;
  map.frame = placement.frameTransform;
  map.grid = &grid.constTransform();
  map.affine = sameTransform || grid.constTransform().isLinear();
  if (sameTransform) {
    map.matrix = placement.cellToIndex;
  } else if (map.affine) {
    map.matrix = placement.cellToIndex * LinearMatrix(*placement.frameTransform) * LinearMatrix(*map.grid).inverse();
  }
  return WithReadableGrid(grid, [&](const auto& typed) {
    using GridT = std::decay_t<decltype(typed)>;
    CellSampler<GridT>(typed, IsStaggeredGrid(grid), map, placement, targets, runner).run(budget);
  });
}

}  // namespace OpenVdbIo
