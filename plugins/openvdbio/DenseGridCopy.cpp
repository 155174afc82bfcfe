#include "plugins/openvdbio/DenseGridCopy.h"

#include <algorithm>
#include <cfloat>
#include <vector>

#include "support/threading/CvnParallel.h"

namespace OpenVdbIo {

namespace {

inline float componentOf(float value, int) { return value; }
template <typename Vec>
inline float componentOf(const Vec& value, int component) {
  return static_cast<float>(value[component]);
}

template <typename GridT>
class DenseCopyJob : public CVNUtils::CvnParallel {
 public:
  DenseCopyJob(KUtils::ThreadManager* manager, const GridT& grid, int component,
               const openvdb::CoordBBox& box, const FrameLayout& layout, float* out)
      : CvnParallel(manager), grid_(grid), component_(component), box_(box), layout_(layout),
        out_(out) {}

  const char* name() override { return "openvdbio dense copy"; }

  // Rows are (j, k) pairs, j fastest.
  void processJob(CVNUtils::Job& job) override {
    typename GridT::ConstUnsafeAccessor accessor = grid_.getConstUnsafeAccessor();
    ValueRange range{FLT_MAX, -FLT_MAX};
    const long long nx = layout_.size[0];
    const long long ny = layout_.size[1];
    for (long long row = job.start; row < job.end; ++row) {
      const int j = static_cast<int>(row % ny);
      const int k = static_cast<int>(row / ny);
      float* cell = out_ + row * nx;
      for (int i = 0; i < nx; ++i) {
        const float value = layout_.stride == 1 ? voxel(accessor, i, j, k) : blockMean(accessor, i, j, k);
        cell[i] = value;
        range.low = std::min(range.low, value);
        range.high = std::max(range.high, value);
      }
    }
    if (job.index >= 0 && job.index < static_cast<int>(ranges.size())) ranges[job.index] = range;
  }

  std::vector<ValueRange> ranges;

 private:
  using Accessor = typename GridT::ConstUnsafeAccessor;

  float voxel(Accessor& accessor, int i, int j, int k) const {
    const openvdb::Coord ijk = layout_.origin + openvdb::Coord(i, j, k);
    return componentOf(accessor.getValue(ijk), component_);
  }

  float blockMean(Accessor& accessor, int i, int j, int k) const {
    // In 64 bits: a block may reach past the int range when the box spans most of it.
    const long long s = layout_.stride;
    const long long cell[3] = {i, j, k};
    openvdb::Coord first, last;
    for (int a = 0; a < 3; ++a) {
      const long long low = layout_.origin[a] + cell[a] * s;
      first[a] = static_cast<openvdb::Int32>(low);
      last[a] = static_cast<openvdb::Int32>(std::min<long long>(low + s - 1, box_.max()[a]));
    }
    double sum = 0.0;
    long long count = 0;
    openvdb::Coord ijk;
    for (long long z = first.z(); z <= last.z(); ++z) {
      ijk.z() = static_cast<openvdb::Int32>(z);
      for (long long y = first.y(); y <= last.y(); ++y) {
        ijk.y() = static_cast<openvdb::Int32>(y);
        for (long long x = first.x(); x <= last.x(); ++x) {
          ijk.x() = static_cast<openvdb::Int32>(x);
          sum += componentOf(accessor.getValue(ijk), component_);
          ++count;
        }
      }
    }
    return count > 0 ? static_cast<float>(sum / count) : 0.0f;
  }

  const GridT& grid_;
  int component_;
  openvdb::CoordBBox box_;
  const FrameLayout& layout_;
  float* out_;
};

template <typename GridT>
ValueRange copyTyped(const GridT& grid, int component, const openvdb::CoordBBox& box,
                     const FrameLayout& layout, float* out, KUtils::ThreadManager* manager) {
  DenseCopyJob<GridT> job(manager, grid, component, box, layout, out);
  job.setupThreads(-1);
  job.ranges.assign(static_cast<size_t>(std::max(job.jobCount, 1)), ValueRange{FLT_MAX, -FLT_MAX});
  job.splitRange(static_cast<long long>(layout.size[1]) * layout.size[2]);
  job.runJobs(0);
  ValueRange total{FLT_MAX, -FLT_MAX};
  for (const ValueRange& range : job.ranges) {
    total.low = std::min(total.low, range.low);
    total.high = std::max(total.high, range.high);
  }
  return total;
}

}  // namespace

bool CopyGridDensely(const openvdb::GridBase& grid, int component, const openvdb::CoordBBox& box,
                     const FrameLayout& layout, float* out, KUtils::ThreadManager* manager,
                     ValueRange& range) {
  if (const auto* floats = dynamic_cast<const openvdb::FloatGrid*>(&grid)) {
    range = copyTyped(*floats, -1, box, layout, out, manager);
  } else if (const auto* vectors = dynamic_cast<const openvdb::Vec3SGrid*>(&grid)) {
    if (component < 0 || component > 2) return false;
    range = copyTyped(*vectors, component, box, layout, out, manager);
  } else if (const auto* doubles = dynamic_cast<const openvdb::Vec3DGrid*>(&grid)) {
    if (component < 0 || component > 2) return false;
    range = copyTyped(*doubles, component, box, layout, out, manager);
  } else {
    return false;
  }
  return true;
}

}  // namespace OpenVdbIo
