#include "tools/samples/FirePlume.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace orv::samples {
namespace {

constexpr float kTimeStep = 0.04f;
constexpr float kCutoff = 1e-4f;  // below this the plume is taken as absent: exact zeros

float clamp01(float v) { return std::min(1.0f, std::max(0.0f, v)); }

// Smooth turbulence in [0, 1] from sines of incommensurate frequencies drifting upwards with time.
float turbulence(float x, float y, float z, float t) {
  const float a = std::sin(11.0f * x + 5.0f * t) * std::sin(13.0f * y - 7.0f * t) *
                  std::sin(9.0f * z + 3.0f * t);
  const float b = std::sin(23.0f * x - 17.0f * y + 4.0f * t) * std::sin(19.0f * z + 29.0f * y - 6.0f * t);
  return 0.5f + 0.35f * a + 0.15f * b;
}

// Glow of the gas from its temperature (dark red through orange to pale yellow) over smoke grey.
unsigned int packedColour(float temperature, float smoke) {
  const float heat = clamp01(temperature / 2.2f);
  const float grey = 0.35f * clamp01(smoke);
  const float red = clamp01(grey + clamp01(1.6f * heat));
  const float green = clamp01(grey + clamp01(1.6f * heat - 0.55f));
  const float blue = clamp01(grey + clamp01(3.0f * heat - 2.2f));
  auto byte = [](float v) { return static_cast<unsigned int>(std::lround(v * 255.0f)); };
  return (byte(red) << 16) | (byte(green) << 8) | byte(blue);
}

}  // namespace

PlumeFields FirePlumeFields(const PlumeGrid& grid, int frame) {
  const int nx = grid.size[0], ny = grid.size[1], nz = grid.size[2];
  const size_t cells = static_cast<size_t>(nx) * ny * nz;
  PlumeFields f;
  for (std::vector<float>* channel :
       {&f.smoke, &f.temperature, &f.fuel, &f.velocity[0], &f.velocity[1], &f.velocity[2]}) {
    channel->assign(cells, 0.0f);
  }
  f.colour.assign(cells, 0u);
  const float t = kTimeStep * static_cast<float>(frame);

  size_t d = 0;
  for (int k = 0; k < nz; ++k) {
    for (int j = 0; j < ny; ++j) {
      // Height in [0, 1]; the plume widens and its centre swirls as it rises.
      const float y = (j + 0.5f) / ny;
      const float radius = 0.08f + 0.22f * y;
      const float cx = 0.06f * std::sin(6.0f * y - 3.0f * t);
      const float cz = 0.06f * std::cos(5.0f * y - 2.0f * t);
      for (int i = 0; i < nx; ++i, ++d) {
        const float x = (i + 0.5f) / nx - 0.5f, z = (k + 0.5f) / nz - 0.5f;
        const float dx = x - cx, dz = z - cz;
        const float core = std::exp(-2.0f * (dx * dx + dz * dz) / (radius * radius));
        if (core < kCutoff) continue;
        const float w = turbulence(x, y, z, t);

        const float fuel = core * std::exp(-y / 0.12f) * (0.8f + 0.2f * w);
        const float temperature = 4.0f * core * (y / (y + 0.05f)) * std::exp(-y / 0.45f) * (0.7f + 0.3f * w);
        const float smoke = core * (1.0f - std::exp(-y / 0.2f)) * (0.5f + 0.5f * w);
        f.fuel[d] = fuel < kCutoff ? 0.0f : fuel;
        f.temperature[d] = temperature;
        f.smoke[d] = smoke;
        // Buoyant rise with a swirl around the plume's axis and a little outward spread.
        f.velocity[1][d] = core * (0.8f + 0.6f * temperature) * (0.8f + 0.4f * w);
        f.velocity[0][d] = core * (-1.5f * dz + 0.3f * dx) * (0.9f + 0.2f * w);
        f.velocity[2][d] = core * (1.5f * dx + 0.3f * dz) * (0.9f + 0.2f * w);
        f.colour[d] = packedColour(temperature, smoke);
      }
    }
  }
  return f;
}

orv::writer::Frame FirePlumeOrvFrame(const PlumeGrid& grid, int frame, PlumeFields fields,
                                     bool withColour) {
  using orv::writer::GridChannel;
  using orv::writer::GridStreamKind;
  orv::writer::Frame out;
  out.version = 6;
  for (int a = 0; a < 3; ++a) out.gridSize[a] = grid.size[a];
  const float scale = 1.0f / grid.cellSize;
  out.transform = {scale, 0, 0, 0, scale, 0, 0, 0, scale, -grid.origin[0] * scale,
                   -grid.origin[1] * scale, -grid.origin[2] * scale};
  out.frameNumber = frame;
  out.timeStep = kTimeStep;

  auto add = [&](int id, std::vector<float>&& values) {
    GridChannel channel;
    channel.id = id;
    channel.values = std::move(values);
    channel.kind = GridStreamKind::Zoned;
    channel.quantiseZones = true;
    channel.zoneCount = std::max(1, grid.size[2] / 8);
    channel.precisionBits = 12;
    out.channels.push_back(std::move(channel));
  };
  add(1, std::move(fields.temperature));
  add(2, std::move(fields.smoke));
  add(4, std::move(fields.velocity[0]));
  add(5, std::move(fields.velocity[1]));
  add(6, std::move(fields.velocity[2]));
  add(10, std::move(fields.fuel));
  if (withColour) {
    GridChannel colour;
    colour.id = 18;
    colour.packed = std::move(fields.colour);
    out.channels.push_back(std::move(colour));
  }
  return out;
}

}  // namespace orv::samples
