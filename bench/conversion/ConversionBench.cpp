// Conversion timing of a large frame: building the OpenVDB grids and writing the file from
// already-decoded channel arrays (the floor of any conversion), with peak resident memory
// against the decoded channel bytes.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "converter/VdbGrids.h"

namespace {

constexpr int kSide = 160;
const char* const kGridNames[] = {"Smoke_cvn",     "Temperature_cvn", "Fuel_cvn",
                                  "VelocityX_cvn", "VelocityY_cvn",   "VelocityZ_cvn"};

// Peak resident set size in bytes, from the kernel's process status.
long long peakResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmHWM:") {
      long long kilobytes = 0;
      status >> kilobytes;
      return kilobytes * 1024;
    }
  }
  return -1;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A smooth plume-like field per channel, so the file compresses as a real frame would.
std::vector<float> plumeChannel(int channel) {
  std::vector<float> values(static_cast<size_t>(kSide) * kSide * kSide);
  size_t d = 0;
  for (int k = 0; k < kSide; ++k) {
    for (int j = 0; j < kSide; ++j) {
      for (int i = 0; i < kSide; ++i, ++d) {
        const float x = (i - kSide / 2) / 20.0f, z = (k - kSide / 2) / 20.0f, y = j / 40.0f;
        const float radial = std::exp(-(x * x + z * z) / (1.0f + y));
        values[d] = radial * std::sin(0.1f * channel + 0.05f * j) * (channel + 1);
      }
    }
  }
  return values;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string destination = argc > 1 ? argv[1] : "bench_conversion.vdb";
  openvdb::initialize();
  const long long baseline = peakResidentBytes();

  std::vector<std::vector<float>> channels;
  for (int c = 0; c < 6; ++c) channels.push_back(plumeChannel(c));
  const double decodedBytes = 6.0 * kSide * kSide * kSide * sizeof(float);
  const int size[3] = {kSide, kSide, kSide};
  IndexToWorldMatrix identity{};
  for (int a = 0; a < 4; ++a) identity.m[a][a] = 1.0;

  auto start = std::chrono::steady_clock::now();
  openvdb::GridPtrVec grids;
  for (int c = 0; c < 6; ++c) grids.push_back(BuildFloatGrid(kGridNames[c], channels[c].data(), size));
  AssignIndexToWorld(grids, identity);
  const double build = secondsSince(start);
  start = std::chrono::steady_clock::now();
  WriteVdbFile(destination.c_str(), grids);
  const double write = secondsSince(start);
  const long long peak = peakResidentBytes();

  std::printf("frame %d^3, %d channels, decoded %.1f MB\n", kSide, 6, decodedBytes / 1e6);
  std::printf("build grids      %.3f s\n", build);
  std::printf("write file       %.3f s\n", write);
  std::printf("floor (build+write from decoded arrays) %.3f s\n", build + write);
  std::printf("peak RSS %.1f MB = %.2fx decoded (%.2fx above the %.1f MB start)\n", peak / 1e6,
              peak / decodedBytes, (peak - baseline) / decodedBytes, baseline / 1e6);
  return 0;
}
