// Conversion of a large written frame, in one run: the whole conversion as orvconvert does it
// (open, expand every exported channel, build the grids, write the file, release), then its
// stages one by one: decoding the exported channels, building the grids and writing the file.
// Building and writing from the already-decoded arrays is the floor of any conversion; the whole
// conversion is reported against it, and its peak resident memory against the decoded bytes.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "converter/DecodedChannelRelease.h"
#include "converter/ExportedGrids.h"
#include "converter/IndexToWorld.h"
#include "converter/VdbExport.h"
#include "converter/VdbGrids.h"
#include "orv/OrvLoader.h"
#include "tools/samples/FirePlume.h"

namespace {

constexpr int kSide = 160;
constexpr int kRepeats = 3;  // timings are the best of this many runs

// Resident set size ("VmRSS:") or its peak ("VmHWM:") in bytes, from the kernel's process status.
long long residentBytes(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string word;
  while (status >> word) {
    if (word == key) {
      long long kilobytes = 0;
      status >> kilobytes;
      return kilobytes * 1024;
    }
  }
  return -1;
}

// Starts a new peak: the kernel resets the peak resident size to the current one.
bool resetPeakResident() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.close();
  return clear.good();
}

using Clock = std::chrono::steady_clock;
double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct StageTimes {
  double decode = 1e30, build = 1e30, write = 1e30;
};

// Decodes the exported channels of a freshly opened frame, then builds and writes the grids from
// the decoded arrays with the export's own building blocks.
void timeStages(const std::string& source, const std::string& destination, StageTimes& best,
                double& decodedBytes) {
  IOrv* frame = newIOrv(source.c_str());
  if (!frame) return;
  int size[3];
  float worldToGrid[12];
  frame->getGridSize(size);
  frame->getTransform(worldToGrid);
  const std::vector<ExportedGrid> exported = SelectExportedGrids(*frame);

  Clock::time_point start = Clock::now();
  std::vector<const float*> arrays;
  for (const ExportedGrid& grid : exported) arrays.push_back(frame->getChannel(grid.channelId));
  best.decode = std::min(best.decode, secondsSince(start));
  decodedBytes = 4.0 * size[0] * size[1] * size[2] * static_cast<double>(exported.size());
  if (std::find(arrays.begin(), arrays.end(), nullptr) != arrays.end()) {
    std::printf("a channel failed to expand\n");
    deleteIOrv(frame);
    return;
  }

  start = Clock::now();
  openvdb::GridPtrVec grids;
  for (size_t g = 0; g < exported.size(); ++g) {
    grids.push_back(BuildFloatGrid(exported[g].name, arrays[g], size));
  }
  AssignIndexToWorld(grids, IndexToWorldFromFrameTransform(worldToGrid));
  best.build = std::min(best.build, secondsSince(start));
  start = Clock::now();
  WriteVdbFile(destination.c_str(), grids);
  best.write = std::min(best.write, secondsSince(start));
  deleteIOrv(frame);
}

// One whole conversion as orvconvert runs it, each decoded channel freed once its grid is built;
// false when it failed.
bool convertWhole(const std::string& source, const std::string& destination) {
  IOrv* frame = newIOrv(source.c_str());
  if (!frame) return false;
  DecodedChannelRelease release;
  const int result = ExportFrameToVdb(destination.c_str(), *frame, &release);
  deleteIOrv(frame);
  return result == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : ".";
  const std::string source = folder + "/bench_conversion.orv";
  const std::string destination = folder + "/bench_conversion.vdb";
  openvdb::initialize();

  orv::samples::PlumeGrid grid;
  grid.size[0] = grid.size[1] = grid.size[2] = kSide;
  grid.cellSize = 2.0f / kSide;
  std::string error;
  if (!orv::writer::WriteFile(
          orv::samples::FirePlumeOrvFrame(grid, 12, orv::samples::FirePlumeFields(grid, 12), false),
          source, &error)) {
    std::printf("cannot write %s: %s\n", source.c_str(), error.c_str());
    return 1;
  }
  std::ifstream written(source, std::ios::binary | std::ios::ate);
  const double fileBytes = static_cast<double>(written.tellg());

  // Peak memory of the first whole conversion, from the resident size before it.
  const bool peakReset = resetPeakResident();
  const long long before = residentBytes("VmRSS:");
  Clock::time_point start = Clock::now();
  if (!convertWhole(source, destination)) {
    std::printf("the conversion failed\n");
    return 1;
  }
  double whole = secondsSince(start);
  const long long peak = residentBytes("VmHWM:");
  for (int r = 1; r < kRepeats; ++r) {
    start = Clock::now();
    convertWhole(source, destination);
    whole = std::min(whole, secondsSince(start));
  }

  StageTimes stages;
  double decodedBytes = 0;
  for (int r = 0; r < kRepeats; ++r) timeStages(source, destination, stages, decodedBytes);
  const double floor = stages.build + stages.write;

  std::printf("frame %d^3, 6 exported channels, .orv file %.1f MB, decoded %.1f MB\n", kSide,
              fileBytes / 1e6, decodedBytes / 1e6);
  std::printf("best of %d runs:\n", kRepeats);
  std::printf("  decode channels  %.3f s\n", stages.decode);
  std::printf("  build grids      %.3f s\n", stages.build);
  std::printf("  write file       %.3f s\n", stages.write);
  std::printf("  floor (build+write from decoded arrays)  %.3f s\n", floor);
  std::printf("  whole conversion %.3f s = %.2fx the floor (target <= 1.5x)\n", whole,
              whole / floor);
  if (peakReset) {
    std::printf("peak resident during the conversion %.1f MB = %.2fx decoded (target <= 2.5x); "
                "%.2fx above the %.1f MB before it\n",
                peak / 1e6, peak / decodedBytes, (peak - before) / decodedBytes, before / 1e6);
  } else {
    std::printf("peak resident %.1f MB (since start: the peak could not be reset)\n", peak / 1e6);
  }
  return 0;
}
