// Field3D files written by the Field3D library itself, opened through liborvloader.so as a host
// opens them, every voxel compared in world space with what that library read back
// (expected.json beside the files). The samples of tests/data/field3d are checked always; a folder
// named by ORV_FIELD3D_SAMPLES is checked instead when set.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "plugins/field3dio/Hdf5Access.h"
#include "tests/host/Field3dExpectations.h"
#include "tests/host/HostPluginFolder.h"
#include "tests/host/VoxelWorldCheck.h"
#include "tests/support/TestFiles.h"

namespace {

using Names = std::vector<std::pair<std::string, int>>;

std::string samplesDir() {
  const char* chosen = std::getenv("ORV_FIELD3D_SAMPLES");
  return chosen && *chosen ? std::string(chosen) + "/" : std::string(ORV_TEST_DATA_DIR "/field3d/");
}

// Grid names and default mappings of the bundled samples.
struct Golden {
  Names names;
  const char* defaults;
};
const std::map<std::string, Golden>& golden() {
  static const std::map<std::string, Golden> table = {
      {"dense_float.f3d", {{{"density", 0}}, "2,density;"}},
      {"ogawa_dense_float.f3d", {{{"density", 0}}, "2,density;"}},
      {"h5_dense_scalar.f3d", {{{"h", 0}, {"f", 0}, {"d", 0}}, "2,h;"}},
      {"og_dense_scalar.f3d", {{{"h", 0}, {"f", 0}, {"d", 0}}, "2,h;"}},
      {"mac_vec3f.f3d", {{{"vel(x)", 1}, {"vel(y)", 1}, {"vel(z)", 1}}, ""}},
      {"sparse_vec3f_dw.f3d", {{{"v(x)", 1}, {"v(y)", 1}, {"v(z)", 1}}, ""}},
      {"og_sparse_vector.f3d",
       {{{"vh(x)", 1}, {"vh(y)", 1}, {"vh(z)", 1}, {"vf(x)", 1}, {"vf(y)", 1}, {"vf(z)", 1}, {"vd(x)", 1}, {"vd(y)", 1}, {"vd(z)", 1}},
        ""}},
      {"og_partitions.f3d",
       {{{"fluid.0/density", 0}, {"vel(x)", 1}, {"vel(y)", 1}, {"vel(z)", 1}, {"temp", 0}, {"fluid.1/density", 0},
         {"mask", 0}, {"fluid.2/density", 0}, {"level", 0}, {"a.b", 0}},
        "2,fluid.0/density;"}},
  };
  return table;
}

// A reported grid traced back to its layer: "[<partition>/]<layer>[(x|y|z)]".
struct GridSource {
  const ExpectedPartition* partition = nullptr;
  const ExpectedLayer* layer = nullptr;
  int component = 0;
};

GridSource sourceOf(const ExpectedFile& file, const std::string& grid) {
  for (const ExpectedPartition& partition : file.partitions) {
    for (const ExpectedLayer& layer : partition.layers) {
      for (const std::string& base : {layer.name, partition.group + "/" + layer.name}) {
        if (layer.components == 1 && grid == base) return {&partition, &layer, 0};
        for (int c = 0; c < 3 && layer.components == 3; ++c) {
          if (grid == base + "(" + "xyz"[c] + ")") return {&partition, &layer, c};
        }
      }
    }
  }
  return {};
}

// Channel ids for many grids at once: the plain channels, velocity (whose three parts the loader
// keeps only together) and the packed colour left out.
constexpr int kChannelIds[] = {1, 2, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30};

class Field3dSamples : public HostPluginFolder {
 protected:
  void SetUp() override {
    HostPluginFolder::SetUp();
    std::string error;
    ASSERT_TRUE(LoadExpectedFiles(samplesDir() + "expected.json", files, error)) << error;
    ASSERT_FALSE(files.empty());
    ASSERT_EQ(initialise(), builtPlugins);
    // A build without HDF5 offers nothing of an HDF5 file; the rest of the checks take the others.
    if (!Field3dIo::Hdf5Available()) {
      files.erase(std::remove_if(files.begin(), files.end(), [&](const ExpectedFile& file) {
                    const bool hdf5 = ReadWholeFile(path(file)).compare(0, 4, "\x89HDF") == 0;
                    if (hdf5) {
                      EXPECT_TRUE(channelNames(path(file)).empty()) << file.file;
                    }
                    return hdf5;
                  }), files.end());
    }
  }
  void TearDown() override { loader.finalize(); }

  std::string path(const ExpectedFile& file) const { return samplesDir() + file.file; }

  void expectLayer(IOrv& frame, int channel, const GridSource& source, bool resampled = false) {
    const ExpectedLayer& layer = *source.layer;
    ExpectVoxelsInFrame(
        frame, channel, layer.shape.window,
        [&](long long i, long long j, long long k) {
          return orv::field3d::VoxelCentreWorld(source.partition->mapping, layer.shape, i, j, k);
        },
        [&](long long i, long long j, long long k) { return layer.at(source.component, i, j, k); }, resampled);
  }

  std::vector<ExpectedFile> files;
};

TEST_F(Field3dSamples, EveryReadableLayerIsReportedUnderOneName) {
  for (const ExpectedFile& file : files) {
    SCOPED_TRACE(file.file);
    const Names names = channelNames(path(file));
    const auto known = golden().find(file.file);
    if (known != golden().end()) {
      EXPECT_EQ(names, known->second.names);
      EXPECT_EQ(defaultMappings(path(file)), known->second.defaults);
    }
    size_t readable = 0;
    for (const ExpectedPartition& partition : file.partitions) {
      for (const ExpectedLayer& layer : partition.layers) readable += layer.readable ? layer.components : 0;
    }
    EXPECT_EQ(names.size(), file.mustFail ? 0 : readable);
    for (const auto& [name, flag] : names) {
      const GridSource source = sourceOf(file, name);
      ASSERT_NE(source.layer, nullptr) << name;
      EXPECT_TRUE(source.layer->readable) << name;
      EXPECT_EQ(flag, source.layer->components == 3 ? 1 : 0) << name;
    }
  }
}

TEST_F(Field3dSamples, EveryGridAloneHoldsEveryVoxelAtItsWorldPosition) {
  for (const ExpectedFile& file : files) {
    for (const auto& grid : channelNames(path(file))) {
      SCOPED_TRACE(file.file + " " + grid.first);
      IOrv* frame = loader.openWithMappings(path(file).c_str(), ("2," + grid.first + ";").c_str());
      ASSERT_NE(frame, nullptr);
      const GridSource source = sourceOf(file, grid.first);
      int size[3];
      frame->getGridSize(size);
      for (int a = 0; a < 3; ++a) EXPECT_EQ(size[a], source.layer->shape.window[3 + a] - source.layer->shape.window[a] + 1);
      expectLayer(*frame, 2, source);
      loader.release(frame);
    }
  }
}

TEST_F(Field3dSamples, AllGridsInOneFrameAndTheDefaultMapping) {
  for (const ExpectedFile& file : files) {
    SCOPED_TRACE(file.file);
    const Names names = channelNames(path(file));
    std::string mappings;
    for (size_t g = 0; g < names.size() && g < std::size(kChannelIds); ++g) {
      mappings += std::to_string(kChannelIds[g]) + "," + names[g].first + ";";
    }
    IOrv* frame = loader.openWithMappings(path(file).c_str(), mappings.c_str());
    ASSERT_EQ(frame != nullptr, !names.empty());
    if (!frame) continue;
    // Layers on the first grid's mapping keep their voxels; the others are resampled onto it.
    const GridSource first = sourceOf(file, names[0].first);
    for (size_t g = 0; g < names.size() && g < std::size(kChannelIds); ++g) {
      SCOPED_TRACE(names[g].first);
      const GridSource source = sourceOf(file, names[g].first);
      const bool shared = source.partition->group == first.partition->group ||
                          (source.partition->mapping.samples == first.partition->mapping.samples &&
                           source.partition->mapping.kind == first.partition->mapping.kind &&
                           source.layer->shape.extents == first.layer->shape.extents);
      expectLayer(*frame, kChannelIds[g], source, !shared);
    }
    loader.release(frame);

    // The default mapping: density from the first scalar grid, when there is one.
    IOrv* byDefault = loader.open(path(file).c_str());
    const std::string defaults = defaultMappings(path(file));
    ASSERT_EQ(byDefault != nullptr, !defaults.empty());
    if (!byDefault) continue;
    const std::string grid = defaults.substr(2, defaults.size() - 3);  // "2,<grid>;"
    expectLayer(*byDefault, 2, sourceOf(file, grid));
    loader.release(byDefault);
  }
}

TEST_F(Field3dSamples, CutAndDamagedCopiesAreRefusedCleanly) {
  const std::string damaged = scratch.file("damaged.f3d");
  for (const ExpectedFile& file : files) {
    SCOPED_TRACE(file.file);
    const std::string bytes = ReadWholeFile(path(file));
    const Names names = channelNames(path(file));
    const std::string mappings = names.empty() ? "2,density;" : "2," + names[0].first + ";";
    if (file.mustFail) {
      EXPECT_EQ(loader.openWithMappings(path(file).c_str(), mappings.c_str()), nullptr);
      continue;
    }
    auto open = [&](const std::string& content) {
      std::ofstream(damaged, std::ios::binary | std::ios::trunc) << content;
      channelNames(damaged);
      return loader.openWithMappings(damaged.c_str(), mappings.c_str());
    };
    for (size_t length = 0; length < bytes.size(); length += 1 + bytes.size() / 24) {
      EXPECT_EQ(open(bytes.substr(0, length)), nullptr) << "cut at " << length;
    }
    for (size_t at = 0; at < bytes.size(); at += 1 + bytes.size() / 96) {
      std::string flipped = bytes;
      flipped[at] = static_cast<char>(~flipped[at]);
      if (IOrv* frame = open(flipped)) loader.release(frame);
    }
  }
}

}  // namespace
