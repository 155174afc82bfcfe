// Dense copies of a tree over a box, slab by slab along z, shared among the jobs of a runner.
// Every slab starts as the background; the stored parts of the tree that meet it (VdbTreeParts.h)
// are written over it. The cost follows the cells produced and the stored parts, not the space the
// box spans between them.
#pragma once

#include <openvdb/openvdb.h>

#include <algorithm>
#include <vector>

#include "plugins/ParallelRunner.h"
#include "plugins/openvdbio/VdbGridTypes.h"
#include "plugins/openvdbio/VdbTreeParts.h"

namespace OpenVdbIo {

// Puts values of type Value into the component arrays of ChannelTargets, as floats.
template <typename Value>
struct ComponentWriter {
  ChannelTargets targets;
  void fill(long long cell, long long count, const Value& value) const {
    for (int c = 0; c < ComponentCount<Value>(); ++c) {
      if (targets.component[c]) std::fill_n(targets.component[c] + cell, count, static_cast<float>(ComponentOf(value, c)));
    }
  }
  void put(long long cell, const Value& value) const {
    for (int c = 0; c < ComponentCount<Value>(); ++c) {
      if (targets.component[c]) targets.component[c][cell] = static_cast<float>(ComponentOf(value, c));
    }
  }
};

// Puts whole values into one array.
template <typename Value>
struct ValueWriter {
  Value* values;
  void fill(long long cell, long long count, const Value& value) const { std::fill_n(values + cell, count, value); }
  void put(long long cell, const Value& value) const { values[cell] = value; }
};

template <typename TreeT>
class VdbDenseFill {
 public:
  using ValueT = typename TreeT::ValueType;
  using Parts = VdbTreeParts<TreeT>;

  // `box` must not be empty.
  VdbDenseFill(const TreeT& tree, const openvdb::CoordBBox& box)
      : parts_(tree, box), box_(box), background_(tree.background()) {
    for (int a = 0; a < 3; ++a) dims_[a] = static_cast<long long>(box.max()[a]) - box.min()[a] + 1;
  }

  // Every voxel of the box, x fastest, through writer.fill(cell, count, value) and
  // writer.put(cell, value).
  template <typename Writer>
  void copy(const Writer& writer, ParallelRunner& runner) const {
    const long long slab = dims_[0] * dims_[1];
    forEachSlab(dims_[2], runner, [&](long long k, int) {
      const int z = static_cast<int>(box_.min().z() + k);
      writer.fill(slab * k, slab, background_);
      parts_.forEachMeeting(z, z, [&](const typename Parts::Part& part) {
        const openvdb::Coord& low = part.box.min();
        const openvdb::Coord& high = part.box.max();
        for (int y = low.y(); y <= high.y(); ++y) {
          const long long cell = slab * k + offset(0, low.x()) + dims_[0] * offset(1, y);
          const long long count = static_cast<long long>(high.x()) - low.x() + 1;
          if (!part.voxels) {
            writer.fill(cell, count, part.value);
            continue;
          }
          const ValueT* voxel = part.voxels + Parts::voxelOffset(low.x(), y, z);
          for (long long x = 0; x < count; ++x) writer.put(cell + x, voxel[x * Parts::kXStep]);
        }
      });
    });
  }

  // Doubles of work area one job of average() needs.
  static long long averageScratch(const int size[3]) {
    return (ComponentCount<ValueT>() + 1) * static_cast<long long>(size[0]) * size[1];
  }

  // Cell (i, j, k) of a frame of `size` cells gets the mean of the block of `stride` voxels per
  // axis starting at the box's corner + stride * (i, j, k), clipped to the box. `scratch` holds
  // one area of averageScratch(size) doubles per job of the runner.
  void average(int stride, const int size[3], const ChannelTargets& targets, ParallelRunner& runner,
               std::vector<std::vector<double>>& scratch) const {
    const long long s = stride, nx = size[0], ny = size[1], slab = nx * ny;
    auto blockLow = [&](int axis, long long cell) { return box_.min()[axis] + s * cell; };
    auto blockSide = [&](int axis, long long cell) {
      return std::min<long long>(blockLow(axis, cell) + s - 1, box_.max()[axis]) - blockLow(axis, cell) + 1;
    };
    forEachSlab(size[2], runner, [&](long long k, int job) {
      double* covered = scratch[job].data();
      double* sums = covered + slab;  // component c at sums + c * slab
      std::fill_n(covered, averageScratch(size), 0.0);
      const long long zLow = blockLow(2, k), zHigh = zLow + blockSide(2, k) - 1;
      parts_.forEachMeeting(static_cast<int>(zLow), static_cast<int>(zHigh), [&](const typename Parts::Part& part) {
        const openvdb::Coord& low = part.box.min();
        const openvdb::Coord& high = part.box.max();
        const long long z0 = std::max<long long>(low.z(), zLow), z1 = std::min<long long>(high.z(), zHigh);
        if (!part.voxels) {
          addTile(part, z1 - z0 + 1, s, nx, slab, covered, sums);
          return;
        }
        for (long long z = z0; z <= z1; ++z) {
          for (int y = low.y(); y <= high.y(); ++y) {
            const long long row = nx * (offset(1, y) / s);
            const ValueT* voxel = part.voxels + Parts::voxelOffset(low.x(), y, static_cast<int>(z));
            for (int x = low.x(); x <= high.x(); ++x, voxel += Parts::kXStep) {
              const long long cell = row + offset(0, x) / s;
              covered[cell] += 1.0;
              for (int c = 0; c < ComponentCount<ValueT>(); ++c) sums[c * slab + cell] += ComponentOf(*voxel, c);
            }
          }
        }
      });
      const double depth = static_cast<double>(blockSide(2, k));
      for (long long j = 0; j < ny; ++j) {
        for (long long i = 0; i < nx; ++i) {
          const long long cell = i + nx * j;
          const double total = static_cast<double>(blockSide(0, i)) * blockSide(1, j) * depth;
          const double empty = total - covered[cell];
          for (int c = 0; c < ComponentCount<ValueT>(); ++c) {
            if (!targets.component[c]) continue;
            const double sum = sums[c * slab + cell] + (empty > 0 ? empty * ComponentOf(background_, c) : 0.0);
            targets.component[c][cell + slab * k] = static_cast<float>(sum / total);
          }
        }
      }
    });
  }

 private:
  // A tile's value times its overlap with each block of the slab.
  void addTile(const typename Parts::Part& tile, long long depth, long long s, long long nx, long long slab,
               double* covered, double* sums) const {
    const openvdb::Coord& low = tile.box.min();
    const openvdb::Coord& high = tile.box.max();
    for (long long j = offset(1, low.y()) / s; j <= offset(1, high.y()) / s; ++j) {
      const long long y0 = std::max<long long>(low.y(), box_.min().y() + s * j);
      const long long y1 = std::min<long long>(high.y(), box_.min().y() + s * j + s - 1);
      for (long long i = offset(0, low.x()) / s; i <= offset(0, high.x()) / s; ++i) {
        const long long x0 = std::max<long long>(low.x(), box_.min().x() + s * i);
        const long long x1 = std::min<long long>(high.x(), box_.min().x() + s * i + s - 1);
        const double volume = static_cast<double>(x1 - x0 + 1) * (y1 - y0 + 1) * depth;
        covered[i + nx * j] += volume;
        for (int c = 0; c < ComponentCount<ValueT>(); ++c) sums[c * slab + i + nx * j] += volume * ComponentOf(tile.value, c);
      }
    }
  }

  // Distance of coordinate v from the box's corner along `axis`, in 64 bits: a box may span more
  // than the int range.
  long long offset(int axis, int v) const { return static_cast<long long>(v) - box_.min()[axis]; }

  // Runs body(slab, job) for slabs 0 .. count-1, contiguous runs of slabs dealt out in turn so
  // that a blob in one corner still spreads over the jobs.
  template <typename Body>
  static void forEachSlab(long long count, ParallelRunner& runner, Body&& body) {
    const long long runs = std::min<long long>(count, 4ll * runner.jobs());
    runner.everyJob([&](int job, int jobs) {
      for (long long run = job; run < runs; run += jobs) {
        for (long long k = count * run / runs; k < count * (run + 1) / runs; ++k) body(k, job);
      }
    });
  }

  Parts parts_;
  openvdb::CoordBBox box_;
  ValueT background_;
  long long dims_[3] = {0, 0, 0};
};

}  // namespace OpenVdbIo
