#include "tools/codec/SyntheticFields.h"

#include <cmath>
#include <random>

namespace orv::codectools {

std::vector<float> SmokeField(const int dims[3], unsigned seed) {
  const int nx = dims[0], ny = dims[1], nz = dims[2];
  std::vector<float> values(static_cast<size_t>(nx) * ny * nz, 0.0f);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> phase(0.0f, 6.2831853f);
  const float p0 = phase(rng), p1 = phase(rng), p2 = phase(rng);
  size_t d = 0;
  for (int k = 0; k < nz; ++k) {
    for (int j = 0; j < ny; ++j) {
      for (int i = 0; i < nx; ++i, ++d) {
        // Height runs along y; the plume widens as it rises and sways with height.
        const float h = (j + 0.5f) / ny;
        const float cx = 0.5f + 0.08f * std::sin(6.0f * h + p0);
        const float cz = 0.5f + 0.08f * std::cos(5.0f * h + p1);
        const float x = (i + 0.5f) / nx - cx, z = (k + 0.5f) / nz - cz;
        const float radius = 0.25f + 0.3f * h;
        const float r2 = (x * x + z * z) / (radius * radius);
        if (r2 >= 1.0f) continue;
        // Two octaves of swirl: broad billows and finer wisps.
        const float detail =
            0.15f * std::sin(23.0f * x + 17.0f * h + p2) * std::cos(19.0f * z - 11.0f * h) +
            0.05f * std::sin(71.0f * x - 53.0f * h) * std::sin(67.0f * z + 59.0f * h + p0);
        const float density = (1.0f - r2) * (1.0f - 0.6f * h) + detail * (1.0f - r2);
        values[d] = density < 0.0f ? 0.0f : (density > 1.0f ? 1.0f : density);
      }
    }
  }
  return values;
}

std::vector<float> NoiseField(long long count, float low, float high, unsigned seed) {
  std::vector<float> values(static_cast<size_t>(count));
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> uniform(low, high);
  for (float& v : values) v = uniform(rng);
  return values;
}

std::vector<float> GaussianNoiseField(long long count, float deviation, unsigned seed) {
  std::vector<float> values(static_cast<size_t>(count));
  std::mt19937 rng(seed);
  std::normal_distribution<float> normal(0.0f, deviation);
  for (float& v : values) v = normal(rng);
  return values;
}

}  // namespace orv::codectools
