// Checks a frame against a Field3D layer voxel by voxel in world space: the centre of every voxel
// of the layer's data window must land on the centre of a frame cell, and that cell must hold the
// voxel's expected value (compared as floats, so -0 and 0 are one value; NaN never occurs here).
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <sstream>

#include "orv/IOrv.h"

using WorldOfVoxel = std::function<std::array<double, 3>(long long i, long long j, long long k)>;
using ValueOfVoxel = std::function<float(long long i, long long j, long long k)>;

// `window` is min x, y, z, max x, y, z (inclusive); `channel` the frame channel holding the layer.
// A resampled layer (`resampled`) is compared only where a voxel centre meets a cell centre, to a
// relative 1e-4, since the blend weights there are 0 and 1 only to float precision.
inline void ExpectVoxelsInFrame(IOrv& frame, int channel, const std::array<long long, 6>& window,
                                const WorldOfVoxel& world, const ValueOfVoxel& expected, bool resampled = false) {
  int size[3];
  float m[12];
  frame.getGridSize(size);
  frame.getTransform(m);
  const float* values = frame.getChannel(channel);
  ASSERT_NE(values, nullptr) << "channel " << channel;
  int mismatches = 0;
  std::ostringstream first;
  for (long long k = window[2]; k <= window[5]; ++k) {
    for (long long j = window[1]; j <= window[4]; ++j) {
      for (long long i = window[0]; i <= window[3]; ++i) {
        const std::array<double, 3> p = world(i, j, k);
        long long cell[3];
        bool onCentre = true;
        for (int c = 0; c < 3; ++c) {
          const double g = p[0] * m[c] + p[1] * m[3 + c] + p[2] * m[6 + c] + m[9 + c];
          cell[c] = std::llround(g);
          onCentre = onCentre && std::fabs(g - cell[c]) < 1e-3 && cell[c] >= 0 && cell[c] < size[c];
        }
        if (resampled && !onCentre) continue;
        const float want = expected(i, j, k);
        const float found = onCentre ? values[cell[0] + size[0] * (cell[1] + size[1] * cell[2])] : 0.0f;
        const bool same = onCentre && (resampled ? std::fabs(found - want) <= 1e-4f * (1.0f + std::fabs(want)) : found == want);
        if (!same && mismatches++ == 0) {
          first << "voxel (" << i << ", " << j << ", " << k << ") expected " << want
                << (onCentre ? " found another value" : " is not on a cell centre");
        }
      }
    }
  }
  EXPECT_EQ(mismatches, 0) << first.str();
}
