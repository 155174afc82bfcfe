// Import of OpenVDB frames through openvdbio.so, each against a floor measured in the same run:
//  - pyro: a 256^3 fog volume "density" at voxel size 0.1 with a vec3 "vel" at half its resolution
//    (voxel size 0.2, on a lattice offset by a quarter of its voxel), the layout of production
//    pyro caches. The import reads both grids, copies the density and samples the velocity at the
//    density's cells (three channels of 256^3). The floor is OpenVDB's own dense copy of the same
//    grids: read them and tools::copyToDense each at its own resolution. For information, OpenVDB's
//    own way to the frame the import gives: tools::resampleToMatch of the velocity onto the
//    density's transform, then both copied densely. OpenVDB's threads are capped at two.
//  - density: the same density alone, against reading and copying it densely.
//  - preview: two small blobs 1000 and 4000 voxels apart (boxes of 10^9 and 6.4 10^10 voxels)
//    imported with maxVoxels 10^6, against writing a fresh frame of the cells it produces.
// Imports run on the calling thread and on two workers.
//   bench_vdb_import [path/to/openvdbio.so]
#include <openvdb/io/File.h>
#include <openvdb/openvdb.h>
#include <openvdb/tools/Dense.h>
#include <openvdb/tools/GridTransformer.h>
#include <tbb/global_control.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "bench/BestSeconds.h"
#include "cache/CorvaneFrameData.h"
#include "loader/ChannelMappings.h"
#include "orv/CacheIO.h"
#include "support/platform/DynamicLibrary.h"
#include "support/threading/WinThreadManager.h"

namespace {

constexpr int kRounds = 5;
constexpr int kThreads = 2;

class Plugin {
 public:
  bool load(const char* path) {
    if (!library_.open(path)) {
      std::printf("cannot load %s: %s\n", path, library_.lastError().c_str());
      return false;
    }
    auto initialize = reinterpret_cast<CacheIO::InitializeFunction>(library_.symbol("Initialize"));
    setManager_ = reinterpret_cast<CacheIO::SetThreadManagerFunction>(library_.symbol("SetThreadManager"));
    import_ = reinterpret_cast<CacheIO::ImportFrameVDBFunction>(library_.symbol("ImportFrameVDB"));
    return initialize && setManager_ && import_ && initialize() == 0;
  }

  bool import(const std::string& path, const char* mappings, KUtils::ThreadManager* manager, CorvaneFrameData& frame,
              long long maxVoxels = -1) {
    CorvaneMappings::GridMappingArray parsed;
    CorvaneMappings::ParseChannelMappings(mappings, parsed);
    setManager_(manager);
    frame.resetFrame(false);
    long long scratch = 0;
    const int result = import_(path.c_str(), &frame, &scratch, false, parsed.data, parsed.size(), maxVoxels);
    setManager_(nullptr);
    return result == 0;
  }

 private:
  orv::platform::DynamicLibrary library_;
  CacheIO::SetThreadManagerFunction setManager_ = nullptr;
  CacheIO::ImportFrameVDBFunction import_ = nullptr;
};

openvdb::FloatGrid::Ptr fogDensity(int n) {
  openvdb::FloatGrid::Ptr density = openvdb::FloatGrid::create(0.0f);
  density->setName("density");
  density->setGridClass(openvdb::GRID_FOG_VOLUME);
  density->setTransform(openvdb::math::Transform::createLinearTransform(0.1));
  auto accessor = density->getAccessor();
  for (int k = 0; k < n; ++k) {
    for (int j = 0; j < n; ++j) {
      for (int i = 0; i < n; ++i) {
        const double r = std::sqrt((i - n / 2.0) * (i - n / 2.0) + (j - n / 2.0) * (j - n / 2.0) + (k - n / 2.0) * (k - n / 2.0));
        const double noise = 0.5 + 0.5 * std::sin(i * 0.3) * std::cos(j * 0.2 + k * 0.1);
        accessor.setValue(openvdb::Coord(i, j, k), static_cast<float>(std::max(0.05, 1.0 - r / n) * noise));
      }
    }
  }
  return density;
}

openvdb::Vec3SGrid::Ptr halfResolutionVelocity(int n) {
  openvdb::Vec3SGrid::Ptr vel = openvdb::Vec3SGrid::create();
  vel->setName("vel");
  openvdb::math::Transform::Ptr transform = openvdb::math::Transform::createLinearTransform(0.2);
  transform->postTranslate(openvdb::Vec3d(0.05));
  vel->setTransform(transform);
  auto accessor = vel->getAccessor();
  for (int k = 0; k <= n / 2; ++k) {
    for (int j = 0; j <= n / 2; ++j) {
      for (int i = 0; i <= n / 2; ++i) {
        accessor.setValue(openvdb::Coord(i, j, k), openvdb::Vec3s(std::sin(0.1f * j), std::cos(0.1f * k), 0.01f * i));
      }
    }
  }
  return vel;
}

openvdb::FloatGrid::Ptr farBlobs(int apart) {
  openvdb::FloatGrid::Ptr blobs = openvdb::FloatGrid::create(0.0f);
  blobs->setName("density");
  auto accessor = blobs->getAccessor();
  for (int corner : {0, apart - 8}) {
    for (int k = 0; k < 8; ++k) {
      for (int j = 0; j < 8; ++j) {
        for (int i = 0; i < 8; ++i) accessor.setValue(openvdb::Coord(corner + i, corner + j, corner + k), 1.0f + i);
      }
    }
  }
  return blobs;
}

// OpenVDB's own dense copy of the named grids: read each and copy it at its own resolution.
template <typename GridT>
bool denseCopy(openvdb::io::File& file, const char* name) {
  const auto grid = openvdb::gridPtrCast<GridT>(file.readGrid(name));
  if (!grid) return false;
  openvdb::tools::Dense<typename GridT::ValueType, openvdb::tools::LayoutXYZ> dense(grid->evalActiveVoxelBoundingBox());
  openvdb::tools::copyToDense(*grid, dense);
  return dense.valueCount() > 0;
}

// OpenVDB's own way to the imported pyro frame: the velocity resampled onto the density's
// transform, both copied densely over the density's box.
bool resampledCopy(const std::string& path) {
  openvdb::io::File file(path);
  file.open(false);
  const auto density = openvdb::gridPtrCast<openvdb::FloatGrid>(file.readGrid("density"));
  const auto vel = openvdb::gridPtrCast<openvdb::Vec3SGrid>(file.readGrid("vel"));
  if (!density || !vel) return false;
  openvdb::Vec3SGrid resampled;
  resampled.setTransform(density->transform().copy());
  openvdb::tools::resampleToMatch<openvdb::tools::BoxSampler>(*vel, resampled);
  const openvdb::CoordBBox box = density->evalActiveVoxelBoundingBox();
  openvdb::tools::Dense<float, openvdb::tools::LayoutXYZ> densities(box);
  openvdb::tools::Dense<openvdb::Vec3s, openvdb::tools::LayoutXYZ> velocities(box);
  openvdb::tools::copyToDense(*density, densities);
  openvdb::tools::copyToDense(resampled, velocities);
  return true;
}

struct Import {
  BestTimes single, workers;
  bool same = false;
};

Import measureImport(Plugin& plugin, KUtils::ThreadManager& pool, const std::string& path, const char* mappings,
                     long long maxVoxels, const int channels[], int count) {
  Import out;
  CorvaneFrameData single, parallel;
  out.single = BestOfRounds(kRounds, [&] { return plugin.import(path, mappings, nullptr, single, maxVoxels); });
  out.workers = BestOfRounds(kRounds, [&] { return plugin.import(path, mappings, &pool, parallel, maxVoxels); });
  const long long cells = single.voxelCount();
  out.same = cells > 0 && cells == parallel.voxelCount();
  for (int c = 0; c < count && out.same; ++c) {
    out.same = std::memcmp(single.getChannel(channels[c]), parallel.getChannel(channels[c]), 4 * cells) == 0;
  }
  return out;
}

// Each time as wall-clock and process processor time, each against the floor's own.
void report(const char* name, const char* floorName, const BestTimes& floor, const Import& m) {
  if (m.single.wall < 0 || m.workers.wall < 0) {
    std::printf("%s: the import fails\n", name);
    return;
  }
  std::printf("%s: outputs of 1 and %d threads %s\n", name, kThreads, m.same ? "identical" : "DIFFER");
  std::printf("  floor, %-44s %9.2f ms wall %9.2f ms cpu\n", floorName, floor.wall * 1e3, floor.cpu * 1e3);
  const std::pair<const char*, BestTimes> rows[] = {{"1 thread ", m.single}, {"2 workers", m.workers}};
  for (const auto& [label, t] : rows) {
    std::printf("  import, %s %9.2f ms wall = %5.2fx floor, %9.2f ms cpu = %5.2fx floor\n", label, t.wall * 1e3,
                t.wall / floor.wall, t.cpu * 1e3, t.cpu / floor.cpu);
  }
}

}  // namespace

int main(int argc, char** argv) {
  setenv("ZORB_NUM_THREADS", std::to_string(kThreads).c_str(), 0);
  openvdb::initialize();
  tbb::global_control openvdbThreads(tbb::global_control::max_allowed_parallelism, kThreads);
  Plugin plugin;
  if (!plugin.load(argc > 1 ? argv[1] : ORV_OPENVDBIO)) return 1;
  KUtils::WinThreadManager pool;
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("orv-bench-vdb-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string pyro = (dir / "pyro.vdb").string();
  const std::string density = (dir / "density.vdb").string();
  const openvdb::FloatGrid::Ptr fog = fogDensity(256);
  openvdb::io::File(pyro).write({fog, halfResolutionVelocity(256)});
  openvdb::io::File(density).write({fog});

  const int pyroChannels[] = {2, 4, 5, 6};
  const BestTimes pyroFloor = BestOfRounds(kRounds, [&] {
    openvdb::io::File file(pyro);
    file.open(false);
    return denseCopy<openvdb::FloatGrid>(file, "density") && denseCopy<openvdb::Vec3SGrid>(file, "vel");
  });
  const BestTimes pyroResampled = BestOfRounds(1, [&] { return resampledCopy(pyro); });  // slow: once
  const Import pyroImport = measureImport(plugin, pool, pyro, "2,density;4,vel.x;5,vel.y;6,vel.z;", -1, pyroChannels, 4);
  report("pyro, 256^3 density + 129^3 vel at twice the voxel size", "OpenVDB reads and copies both densely", pyroFloor, pyroImport);
  std::printf("  for information: OpenVDB resamples vel onto density and copies both: %.2f ms wall (import on %d workers = "
              "%.2fx)\n", pyroResampled.wall * 1e3, kThreads, pyroImport.workers.wall / pyroResampled.wall);

  const BestTimes densityFloor = BestOfRounds(kRounds, [&] {
    openvdb::io::File file(density);
    file.open(false);
    return denseCopy<openvdb::FloatGrid>(file, "density");
  });
  report("density, 256^3", "OpenVDB reads and copies it densely", densityFloor,
         measureImport(plugin, pool, density, "2,density;", -1, pyroChannels, 1));

  bool previewsSame = true;
  for (int apart : {1000, 4000}) {
    const std::string blobs = (dir / ("blobs" + std::to_string(apart) + ".vdb")).string();
    openvdb::io::File(blobs).write({farBlobs(apart)});
    CorvaneFrameData preview;
    if (!plugin.import(blobs, "2,density;", nullptr, preview, 1000000)) {
      std::printf("preview, blobs %d voxels apart: the import fails\n", apart);
      previewsSame = false;
      continue;
    }
    const BestTimes freshFrame = BestOfRounds(kRounds, [&] {
      CorvaneFrameData fresh;
      std::copy(preview.gridSize, preview.gridSize + 3, fresh.gridSize);
      float* values = fresh.allocateChannel(2);
      if (values) std::fill(values, values + fresh.voxelCount(), 1.0f);
      return values != nullptr;
    });
    char name[128];
    std::snprintf(name, sizeof name, "preview, blobs %d voxels apart at maxVoxels 10^6 (%d x %d x %d cells)", apart,
                  preview.gridSize[0], preview.gridSize[1], preview.gridSize[2]);
    const Import previewImport = measureImport(plugin, pool, blobs, "2,density;", 1000000, pyroChannels, 1);
    report(name, "a fresh frame of those cells written", freshFrame, previewImport);
    previewsSame = previewsSame && previewImport.same;
  }

  std::filesystem::remove_all(dir);
  return pyroImport.same && previewsSame ? 0 : 1;
}
