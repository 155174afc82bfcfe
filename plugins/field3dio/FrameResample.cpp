#include "plugins/field3dio/FrameResample.h"

#include <algorithm>
#include <cmath>

namespace Field3dIo {

namespace {

// Lower and upper voxel and blend along one axis for index coordinate p (centres at integers) in
// a window of n voxels; false outside [-0.5, n - 0.5].
bool axisSample(double p, long long n, long long& lower, long long& upper, double& fraction) {
  if (!(p >= -0.5 && p <= n - 0.5)) return false;
  const double below = std::floor(p);
  fraction = p - below;
  lower = std::clamp(static_cast<long long>(below), 0ll, n - 1);
  upper = std::clamp(static_cast<long long>(below) + 1, 0ll, n - 1);
  return true;
}

}  // namespace

void ResampleVolume(const float* volume, const VoxelBox& window, const Matrix4& gridToVoxel, const int size[3],
                    float* out, ParallelRunner& runner) {
  const long long n[3] = {window.size(0), window.size(1), window.size(2)};
  const long long nx = size[0], ny = size[1];
  runner.forRange(ny * size[2], [&](long long first, long long last) {
    for (long long row = first; row < last; ++row) {
      const double j = static_cast<double>(row % ny), k = static_cast<double>(row / ny);
      float* cells = out + row * nx;
      for (long long i = 0; i < nx; ++i) {
        const double grid[3] = {static_cast<double>(i), j, k};
        double voxel[3];
        TransformPoint(gridToVoxel, grid, voxel);
        long long lo[3], hi[3];
        double f[3];
        bool inside = true;
        for (int a = 0; a < 3 && inside; ++a) {
          inside = axisSample(voxel[a] - 0.5 - static_cast<double>(window.min[a]), n[a], lo[a], hi[a], f[a]);
        }
        if (!inside) {
          cells[i] = 0.0f;
          continue;
        }
        auto at = [&](long long x, long long y, long long z) {
          return static_cast<double>(volume[x + n[0] * (y + n[1] * z)]);
        };
        const double x00 = at(lo[0], lo[1], lo[2]) * (1 - f[0]) + at(hi[0], lo[1], lo[2]) * f[0];
        const double x10 = at(lo[0], hi[1], lo[2]) * (1 - f[0]) + at(hi[0], hi[1], lo[2]) * f[0];
        const double x01 = at(lo[0], lo[1], hi[2]) * (1 - f[0]) + at(hi[0], lo[1], hi[2]) * f[0];
        const double x11 = at(lo[0], hi[1], hi[2]) * (1 - f[0]) + at(hi[0], hi[1], hi[2]) * f[0];
        const double y0 = x00 * (1 - f[1]) + x10 * f[1];
        const double y1 = x01 * (1 - f[1]) + x11 * f[1];
        cells[i] = static_cast<float>(y0 * (1 - f[2]) + y1 * f[2]);
      }
    }
  });
}

}  // namespace Field3dIo
