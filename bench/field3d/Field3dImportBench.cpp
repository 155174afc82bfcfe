// Import of a large sparse Field3D layer, in one run: the whole import as the plug-in does it (open,
// read the tree, read and inflate the blocks, place them in the frame) on the calling thread and on
// two workers, against the floor of any reader: reading the file's bytes and inflating the same
// block streams, uninterpreted, on one thread. The layer is a smoke-like blob in a corner of a
// 256^3 sparse field (order 4, about 250 of 4096 blocks stored), written in both containers, as
// the largest of the library-written samples is; further .f3d paths given as arguments are measured
// the same way (their first grid).
//   bench_field3d [file.f3d ...]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include "cache/CorvaneFrameData.h"
#include "plugins/field3dio/Field3dFile.h"
#include "plugins/field3dio/Field3dFrameImport.h"
#include "plugins/field3dio/Field3dLayers.h"
#include "plugins/field3dio/InflateExact.h"
#include "support/threading/WinThreadManager.h"
#include "tools/field3d/Field3dTestFile.h"

namespace {

namespace f3d = orv::field3d;
constexpr int kRounds = 7;

double bestSeconds(const std::function<bool()>& run) {
  double best = 1e30;
  for (int round = 0; round < kRounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    if (!run()) return -1;
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

// A smoke-like blob of radius 60 voxels around (64, 64, 64) in a 256^3 field, values quantised to
// 1/256; only blocks the blob reaches are stored.
f3d::TestFile bigSmoke() {
  f3d::TestLayer smoke;
  smoke.name = "density";
  smoke.kind = f3d::LayerKind::Sparse;
  smoke.extents = smoke.window = {{0, 0, 0, 255, 255, 255}};
  smoke.blockOrder = 4;
  auto density = [](double i, double j, double k) {
    const double r = std::sqrt((i - 64) * (i - 64) + (j - 64) * (j - 64) + (k - 64) * (k - 64));
    const double noise = 0.5 + 0.5 * std::sin(i * 0.3) * std::cos(j * 0.2 + k * 0.1);
    return std::floor(std::max(0.0, 1.0 - r / 60.0) * noise * 256.0) / 256.0;
  };
  smoke.value = [density](int, long long i, long long j, long long k) { return density(i, j, k); };
  smoke.stored = [](long long b) {
    const double centre[3] = {b % 16 * 16.0 + 8, b / 16 % 16 * 16.0 + 8, b / 256 * 16.0 + 8};
    double d2 = 0;
    for (double c : centre) d2 += (c - 64) * (c - 64);
    return std::sqrt(d2) < 60 + 14;  // the blob reaches the block
  };
  return f3d::TestFile{{{"smoke.0", f3d::ScaledMapping({1, 1, 1}, {0, 0, 0}), {smoke}}}};
}

std::vector<char> wholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Measured {
  double floor = -1, frame = -1, single = -1, workers = -1;
  long long stored = 0, blocks = 0;
  bool same = false;
};

bool importFrame(const std::string& path, const std::string& grid, KUtils::ThreadManager* manager, CorvaneFrameData& frame) {
  Field3dIo::OpenedFile file;
  std::string reason;
  if (Field3dIo::OpenField3dFile(path.c_str(), file, reason) != 0) return false;
  CacheIO::GridMapping mapping;
  mapping.name.assign(grid.c_str());
  mapping.channel = 2;
  Field3dIo::Field3dImportRequest request;
  request.path = path.c_str();
  request.mappings = &mapping;
  request.mappingCount = 1;
  request.manager = manager;
  request.maxFloats = Field3dIo::FloatsLeftFor(frame);
  frame.resetFrame(false);
  return Field3dIo::ImportField3dFrame(*file.container, request, frame) == 0;
}

Measured measure(const std::string& path, KUtils::ThreadManager& pool) {
  Measured out;
  Field3dIo::OpenedFile file;
  std::string reason;
  std::vector<Field3dIo::Field3dLayer> layers;
  std::vector<std::string> skipped;
  if (Field3dIo::OpenField3dFile(path.c_str(), file, reason) != 0 || !Field3dIo::ListLayers(*file.container, layers, skipped) ||
      layers.empty()) {
    std::printf("%s: cannot be read: %s\n", path.c_str(), reason.c_str());
    return out;
  }
  const Field3dIo::Field3dLayer& layer = layers.front();
  CacheIO::AvailableChannelArray grids;
  if (Field3dIo::ListField3dChannels(*file.container, path.c_str(), grids) != 0 || grids.size() == 0) return out;
  const std::string grid = grids[0].name.c_str();  // the first layer's first channel
  Field3dIo::StoredBlocks blocks;
  if (layer.kind == Field3dIo::LayerClass::Sparse && layer.occupiedBlocks > 0) file.container->readBlocks(layer.node, "data", blocks);
  out.blocks = layer.blockCount;
  out.stored = static_cast<long long>(blocks.count());
  const size_t blockBytes = layer.kind == Field3dIo::LayerClass::Sparse
                                ? (size_t(1) << (3 * layer.blockOrder)) * layer.components * 4
                                : 0;
  std::vector<unsigned char> scratch(blockBytes * 2);
  // The floor: the file's bytes read, and the same block streams inflated (libhdf5 reads and
  // inflates its chunks itself), nothing interpreted.
  out.floor = bestSeconds([&] {
    if (!blocks.compressed) {
      Field3dIo::StoredBlocks again;
      return wholeFile(path).size() > 0 && (blocks.count() == 0 || file.container->readBlocks(layer.node, "data", again));
    }
    bool inflated = wholeFile(path).size() > 0;
    for (size_t b = 0; b < blocks.count() && inflated; ++b) {
      const size_t length = blocks.offsets[b + 1] - blocks.offsets[b];
      // The stored element size decides how much it inflates to (half, float or double blocks).
      inflated = Field3dIo::InflateExact(blocks.bytes.data() + blocks.offsets[b], length, scratch.data(), blockBytes) ||
                 Field3dIo::InflateExact(blocks.bytes.data() + blocks.offsets[b], length, scratch.data(), blockBytes / 2) ||
                 Field3dIo::InflateExact(blocks.bytes.data() + blocks.offsets[b], length, scratch.data(), blockBytes * 2);
    }
    return inflated;
  });
  CorvaneFrameData single, parallel;
  out.single = bestSeconds([&] { return importFrame(path, grid, nullptr, single); });
  // What any reader that hands out a dense frame pays besides: a fresh channel array written once
  // (on a virtual machine its first-touch page faults can outweigh everything else).
  out.frame = bestSeconds([&] {
    CorvaneFrameData fresh;
    std::copy(single.gridSize, single.gridSize + 3, fresh.gridSize);
    float* values = fresh.allocateChannel(2);
    if (values) std::fill(values, values + fresh.voxelCount(), 1.0f);
    return values != nullptr;
  });
  out.workers = bestSeconds([&] { return importFrame(path, grid, &pool, parallel); });
  const long long cells = single.voxelCount();
  out.same = cells > 0 && cells == parallel.voxelCount() &&
             std::memcmp(single.getChannel(2), parallel.getChannel(2), sizeof(float) * cells) == 0;
  return out;
}

void report(const std::string& name, const Measured& m) {
  const double floor = m.floor + m.frame;
  std::printf("%s: %lld of %lld blocks stored; outputs %s\n", name.c_str(), m.stored, m.blocks,
              m.same ? "identical" : "DIFFER");
  std::printf("  floor: read + inflate %8.2f ms, fresh frame written %8.2f ms\n", m.floor * 1e3, m.frame * 1e3);
  std::printf("  import, 1 thread      %8.2f ms = %5.2fx read+inflate, %5.2fx both floors\n", m.single * 1e3,
              m.single / m.floor, m.single / floor);
  std::printf("  import, 2 workers     %8.2f ms = %5.2fx read+inflate, %5.2fx both floors, speed-up %.2f\n",
              m.workers * 1e3, m.workers / m.floor, m.workers / floor, m.single / m.workers);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("ZORB_NUM_THREADS", "2", 0);
  KUtils::WinThreadManager pool;
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("orv-bench-field3d-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::vector<std::pair<std::string, std::string>> files;
  const f3d::TestFile smoke = bigSmoke();
  for (f3d::Container container : {f3d::Container::Ogawa, f3d::Container::Hdf5}) {
    const bool ogawa = container == f3d::Container::Ogawa;
    const std::string path = (dir / (ogawa ? "og_big_smoke.f3d" : "h5_big_smoke.f3d")).string();
    if (f3d::WriteTestFile(smoke, container, path)) files.emplace_back(ogawa ? "big smoke, Ogawa" : "big smoke, HDF5", path);
  }
  for (int a = 1; a < argc; ++a) files.emplace_back(std::filesystem::path(argv[a]).filename().string(), argv[a]);
  bool ok = true;
  for (const auto& [name, path] : files) {
    const Measured m = measure(path, pool);
    report(name, m);
    ok = ok && m.same && m.floor > 0;
  }
  std::filesystem::remove_all(dir);
  return ok ? 0 : 1;
}
