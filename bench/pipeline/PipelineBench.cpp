// orv convert's engine, in one run, each figure a ratio to a baseline measured beside it:
//   1. a 20-frame 160^3 sequence converted with two threads against one thread;
//   2. one 160^3 frame on one thread against the OpenVDB build-and-write floor: the same grids
//      built from the already-decoded arrays with the library's value accessors and written by its
//      own io::File, nothing else; set beside it the export alone from the same decoded arrays
//      (build, checked write, rename), and the whole conversion (load and decode too);
//   3. files written with --clip 1e-4 against unclipped files (the bundled samples), and against
//      the same grids clipped exactly by OpenVDB itself (accessor writes of the kept voxels, then
//      the library's prune).
// Usage: bench_pipeline [scratch folder] [samples folder]
// Without a scratch folder it writes into a fresh one under the temporary folder and removes it.
#include <openvdb/io/File.h>
#include <openvdb/tools/Prune.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cache/CorvaneFrameData.h"
#include "converter/FrameLoading.h"
#include "converter/GridPresets.h"
#include "converter/IndexToWorld.h"
#include "converter/SequenceConversion.h"
#include "converter/VdbExport.h"
#include "converter/VdbGrids.h"
#include "support/platform/Output.h"
#include "tools/samples/FirePlume.h"
#include "tools/testing/ScratchFolder.h"

namespace {

constexpr int kSide = 160;
constexpr int kSequenceFrames = 20;
constexpr float kClip = 1e-4f;

using Clock = std::chrono::steady_clock;
double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// orv convert's settings: the blender preset, Blosc, atomic writes.
ConversionRequest request(const std::string& source, const std::string& destination, int threads,
                          bool clip) {
  ConversionRequest r;
  r.source = source;
  r.destination = destination;
  r.threads = threads;
  r.settings = PipelineExportSettings();
  r.settings.clip.enabled = clip;
  r.settings.clip.tolerance = kClip;
  return r;
}

double timedConversion(const ConversionRequest& r) {
  const Clock::time_point start = Clock::now();
  const ConversionSummary summary = ConvertFrames(r);
  const double seconds = secondsSince(start);
  if (summary.converted != static_cast<int>(summary.frames.size())) {
    std::printf("conversion of %s failed\n", r.source.c_str());
  }
  return seconds;
}

long long fileBytes(const std::string& path) {
  long long bytes = -1;
  orv::platform::FileSizeBytes(path.c_str(), bytes);
  return bytes;
}

// The blender preset's grids built by OpenVDB's value accessors from decoded arrays: every cell
// (clip < 0), or only cells above the clip followed by the library's prune.
openvdb::GridPtrVec openVdbGrids(CorvaneFrameData& frame, float clip) {
  const std::vector<PresetGrid> presets = SelectPresetGrids(frame, GridPreset::Blender);
  int size[3];
  frame.getGridSize(size);
  openvdb::GridPtrVec grids;
  for (const PresetGrid& preset : presets) {
    const float* c[3] = {frame.getChannel(preset.channels[0]), nullptr, nullptr};
    if (preset.components == 3) {
      c[1] = frame.getChannel(preset.channels[1]);
      c[2] = frame.getChannel(preset.channels[2]);
    }
    auto build = [&](auto grid, auto valueAt, auto kept) {
      auto accessor = grid->getAccessor();
      long long d = 0;
      for (int k = 0; k < size[2]; ++k)
        for (int j = 0; j < size[1]; ++j)
          for (int i = 0; i < size[0]; ++i, ++d) {
            const auto value = valueAt(d);
            if (clip < 0 || kept(value)) accessor.setValue(openvdb::Coord(i, j, k), value);
          }
      if (clip >= 0) openvdb::tools::prune(grid->tree());
      grid->setName(preset.name);
      grids.push_back(grid);
    };
    if (preset.components == 1) {
      build(
          openvdb::FloatGrid::create(0.0f), [&](long long d) { return c[0][d]; },
          [&](float v) { return !(std::fabs(v) <= clip); });
      grids.back()->setGridClass(openvdb::GRID_FOG_VOLUME);
    } else {
      build(
          openvdb::Vec3SGrid::create(openvdb::Vec3s(0.0f)),
          [&](long long d) { return openvdb::Vec3s(c[0][d], c[1][d], c[2][d]); },
          [&](const openvdb::Vec3s& v) { return !(v.length() <= clip); });
    }
  }
  float worldToGrid[12];
  frame.getTransform(worldToGrid);
  AssignIndexToWorld(grids, IndexToWorldFromFrameTransform(worldToGrid));
  return grids;
}

void writeWithOpenVdb(const std::string& path, const openvdb::GridPtrVec& grids) {
  openvdb::io::File file(path);
  file.setCompression(openvdb::io::COMPRESS_BLOSC | openvdb::io::COMPRESS_ACTIVE_MASK);
  file.write(grids);
  file.close();
}

OwnedFrame decodedFrame(const std::string& path) {
  std::string reason;
  OwnedFrame frame = LoadFrame(path, nullptr, false, reason);
  if (!frame) std::printf("cannot load %s: %s\n", path.c_str(), reason.c_str());
  return frame;
}

bool writeSequence(const std::string& folder) {
  orv::samples::PlumeGrid grid;
  grid.size[0] = grid.size[1] = grid.size[2] = kSide;
  grid.cellSize = 2.0f / kSide;
  for (int frame = 1; frame <= kSequenceFrames; ++frame) {
    char name[32];
    std::snprintf(name, sizeof name, "/plume_%04d.orv", frame);
    std::string error;
    if (!orv::writer::WriteFile(orv::samples::FirePlumeOrvFrame(
                                    grid, frame, orv::samples::FirePlumeFields(grid, frame)),
                                folder + name, &error)) {
      std::printf("cannot write %s: %s\n", name, error.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<ScratchFolder> ownFolder;
  if (argc <= 1) ownFolder.emplace("orv-bench-pipeline");
  const std::string folder = argc > 1 ? std::string(argv[1]) : ownFolder->path().string();
  const std::string samples = argc > 2 ? argv[2] : ORV_SOURCE_DIR "/samples";
  openvdb::initialize();
  if (!writeSequence(folder)) return 1;
  const std::string sequence = folder + "/plume_####.orv";
  const std::string output = folder + "/out/plume_####.vdb";

  // 1. Thread scaling, runs interleaved so both see the same load; best of two each.
  double one = 1e30, two = 1e30;
  for (int round = 0; round < 2; ++round) {
    one = std::min(one, timedConversion(request(sequence, output, 1, false)));
    two = std::min(two, timedConversion(request(sequence, output, 2, false)));
  }
  std::printf("%d frames of %d^3, blender preset, best of 2:\n", kSequenceFrames, kSide);
  std::printf("  --threads 1  %.2f s (%.2f frames/s)\n", one, kSequenceFrames / one);
  std::printf("  --threads 2  %.2f s = %.2fx --threads 1 (target >= 1.7x)\n", two, one / two);

  // 2. One frame on one thread against the OpenVDB floor; best of three each.
  const std::string frameSource = folder + "/plume_0001.orv";
  const std::string ours = folder + "/one_frame.vdb", floorFile = folder + "/floor.vdb";
  double whole = 1e30, floor = 1e30, decode = 1e30, exportOnly = 1e30;
  for (int round = 0; round < 3; ++round) {
    whole = std::min(whole, timedConversion(request(frameSource, ours, 1, false)));
    Clock::time_point start = Clock::now();
    OwnedFrame frame = decodedFrame(frameSource);
    if (!frame) return 1;
    for (const PresetGrid& preset : SelectPresetGrids(*frame, GridPreset::Blender)) {
      for (int c = 0; c < preset.components; ++c) frame->getChannel(preset.channels[c]);
    }
    decode = std::min(decode, secondsSince(start));
    start = Clock::now();
    writeWithOpenVdb(floorFile, openVdbGrids(*frame, -1.0f));
    floor = std::min(floor, secondsSince(start));
    start = Clock::now();
    if (ExportFrame(ours.c_str(), *frame, PipelineExportSettings()) != kVdbExportWritten) {
      std::printf("export of %s failed\n", frameSource.c_str());
    }
    exportOnly = std::min(exportOnly, secondsSince(start));
  }
  std::printf("one %d^3 frame on one thread, best of 3:\n", kSide);
  std::printf("  OpenVDB floor (accessor build + io::File write of decoded arrays)  %.3f s\n",
              floor);
  std::printf("  loading and decoding the channels                                %.3f s\n",
              decode);
  std::printf("  orv's export of the decoded arrays (build, write, rename)       %.3f s = %.2fx "
              "the floor (target <= 1.1x)\n",
              exportOnly, exportOnly / floor);
  std::printf(
      "  orv convert (load, decode, build, write, rename)  %.3f s = %.2fx the floor, %.2fx the "
      "floor plus decoding\n",
      whole, whole / floor, whole / (floor + decode));

  // 3. File sizes with the clip.
  std::printf("--clip %g, file sizes:\n", kClip);
  std::printf("  %-16s %12s %12s %8s %14s %8s\n", "frame", "unclipped", "clipped", "shrink",
              "OpenVDB exact", "ratio");
  std::vector<std::string> sources;
  for (int frame = 1; frame <= 6; ++frame) {
    char name[32];
    std::snprintf(name, sizeof name, "/fire_%04d.orv", frame);
    sources.push_back(samples + name);
  }
  sources.push_back(frameSource);
  for (const std::string& source : sources) {
    const std::string dense = folder + "/dense.vdb", clipped = folder + "/clipped.vdb";
    const std::string exact = folder + "/exact.vdb";
    timedConversion(request(source, dense, 1, false));
    timedConversion(request(source, clipped, 1, true));
    OwnedFrame frame = decodedFrame(source);
    if (!frame) return 1;
    writeWithOpenVdb(exact, openVdbGrids(*frame, kClip));
    const long long d = fileBytes(dense), c = fileBytes(clipped), e = fileBytes(exact);
    std::printf("  %-16s %12lld %12lld %7.1f%% %14lld %7.3fx (target <= 1.05x)\n",
                source.substr(source.find_last_of('/') + 1).c_str(), d, c,
                100.0 * (1.0 - static_cast<double>(c) / d), e, static_cast<double>(c) / e);
  }
  return 0;
}
