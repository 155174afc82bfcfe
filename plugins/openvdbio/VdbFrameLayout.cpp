#include "plugins/openvdbio/VdbFrameLayout.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace OpenVdbIo {

namespace {

// Cells a box of `dims` voxels has at `stride`, saturated at LLONG_MAX.
long long cellsAtStride(const long long dims[3], long long stride) {
  long long cells = 1;
  for (int a = 0; a < 3; ++a) {
    const long long n = (dims[a] + stride - 1) / stride;
    if (__builtin_mul_overflow(cells, n, &cells)) return LLONG_MAX;
  }
  return cells;
}

double largestAbs(const openvdb::math::Mat4d& m, int firstRow, int lastRow) {
  double largest = 0.0;
  for (int r = firstRow; r <= lastRow; ++r) {
    for (int c = 0; c < 3; ++c) largest = std::max(largest, std::fabs(m(r, c)));
  }
  return largest;
}

bool rowsAgree(const openvdb::math::Mat4d& a, const openvdb::math::Mat4d& b, int firstRow,
               int lastRow, double tolerance) {
  for (int r = firstRow; r <= lastRow; ++r) {
    for (int c = 0; c < 3; ++c) {
      if (!(std::fabs(a(r, c) - b(r, c)) <= tolerance)) return false;
    }
  }
  return true;
}

}  // namespace

int SmallestFittingStride(const long long dims[3], long long maxVoxels) {
  if (maxVoxels < 1 || cellsAtStride(dims, 1) <= maxVoxels) return 1;
  // The cell count does not grow with the stride, and the longest side as stride leaves one cell.
  long long low = 1;
  long long high = std::max({dims[0], dims[1], dims[2]});
  while (high - low > 1) {
    const long long middle = low + (high - low) / 2;
    if (cellsAtStride(dims, middle) <= maxVoxels) {
      high = middle;
    } else {
      low = middle;
    }
  }
  return static_cast<int>(std::min<long long>(high, INT_MAX));
}

openvdb::math::Mat4d LinearMatrix(const openvdb::math::Transform& transform) {
  return transform.baseMap()->getAffineMap()->getMat4();
}

openvdb::math::Mat4d CellCentreToIndex(const FrameLayout& layout) {
  openvdb::math::Mat4d m = openvdb::math::Mat4d::identity();
  const double centre = (layout.stride - 1.0) / 2.0;
  for (int a = 0; a < 3; ++a) {
    m(a, a) = layout.stride;
    m(3, a) = layout.origin[a] + centre;
  }
  return m;
}

bool SameLinearTransform(const openvdb::math::Transform& a, const openvdb::math::Transform& b) {
  if (!a.isLinear() || !b.isLinear()) return false;
  const openvdb::math::Mat4d ma = LinearMatrix(a);
  const openvdb::math::Mat4d mb = LinearMatrix(b);
  const double linearScale = std::max(largestAbs(ma, 0, 2), largestAbs(mb, 0, 2));
  const double translationScale =
      std::max({linearScale, largestAbs(ma, 3, 3), largestAbs(mb, 3, 3)});
  return rowsAgree(ma, mb, 0, 2, 1e-6 * linearScale) &&
         rowsAgree(ma, mb, 3, 3, 1e-6 * translationScale);
}

LayoutResult MakeFrameLayout(const openvdb::CoordBBox& box, const openvdb::math::Mat4d& indexToWorld,
                             long long maxVoxels, FrameLayout& out) {
  out = FrameLayout();
  const double determinant = indexToWorld.getMat3().det();
  if (determinant == 0.0 || !std::isfinite(determinant)) return LayoutResult::Singular;
  const openvdb::math::Mat4d worldToIndex = indexToWorld.inverse();

  long long dims[3] = {0, 0, 0};
  if (!box.empty()) {
    out.origin = box.min();
    for (int a = 0; a < 3; ++a) {
      dims[a] = static_cast<long long>(box.max()[a]) - box.min()[a] + 1;
    }
    out.stride = SmallestFittingStride(dims, maxVoxels);
    for (int a = 0; a < 3; ++a) {
      const long long cells = (dims[a] + out.stride - 1) / out.stride;
      if (cells > INT_MAX) return LayoutResult::TooLarge;
      out.size[a] = static_cast<int>(cells);
    }
    // Four bytes per cell must stay addressable.
    if (cellsAtStride(dims, out.stride) > LLONG_MAX / 8) return LayoutResult::TooLarge;
  }

  // Grid coordinate g = (index - origin - (stride - 1) / 2) / stride.
  const double stride = out.stride;
  const double centre = (stride - 1.0) / 2.0;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) out.worldToGrid[3 * r + c] = static_cast<float>(worldToIndex(r, c) / stride);
  }
  for (int c = 0; c < 3; ++c) {
    const double shifted = worldToIndex(3, c) - out.origin[c] - centre;
    out.worldToGrid[9 + c] = static_cast<float>(shifted / stride);
  }
  for (const float value : out.worldToGrid) {
    if (!std::isfinite(value)) return LayoutResult::Singular;
  }
  return LayoutResult::Ok;
}

}  // namespace OpenVdbIo
