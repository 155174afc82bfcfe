// Float fields for codec tests and benchmarks, x fastest.
#pragma once

#include <vector>

namespace orv::codectools {

// A smoke-like density: a rising, widening plume with soft turbulent detail, exactly 0 outside
// it (about half the cells) and values in [0, 1]. Deterministic for a seed: SmokeField(dims, 1).
std::vector<float> SmokeField(const int dims[3], unsigned seed);
// Independent uniform values in [low, high): NoiseField(n, -1, 1, 7).
std::vector<float> NoiseField(long long count, float low, float high, unsigned seed);
// Independent normally distributed values: most near the mean, rare ones far out, as in
// turbulent detail. GaussianNoiseField(n, 1.0f, 7).
std::vector<float> GaussianNoiseField(long long count, float deviation, unsigned seed);

}  // namespace orv::codectools
