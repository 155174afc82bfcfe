// An IO plug-in module loaded and called as the loader calls it: the entry points every plug-in
// has, resolved by name, the grids it reports for a file, and an import from a mapping string.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "cache/CorvaneFrameData.h"
#include "loader/ChannelMappings.h"
#include "orv/CacheIO.h"
#include "support/platform/DynamicLibrary.h"
#include "support/platform/Platform.h"
#include "tests/support/TestFiles.h"

using Reported = std::vector<std::pair<std::string, int>>;

class PluginModule {
 public:
  // Loads the module and calls Initialize; the test fails when an entry point is missing.
  void load(const std::string& path) {
    ASSERT_TRUE(library.open(path.c_str())) << library.lastError();
    initialize = entry<CacheIO::InitializeFunction>("Initialize");
    setManager = entry<CacheIO::SetThreadManagerFunction>("SetThreadManager");
    releaseManager = entry<CacheIO::ReleaseThreadManagerFunction>("ReleaseThreadManager");
    listGrids = entry<CacheIO::GetAvailableChannelsFunction>("GetAvailableChannels");
    ASSERT_TRUE(initialize && setManager && releaseManager && listGrids);
    ASSERT_EQ(initialize(), 0);
  }
  void unload() { library.close(); }

  template <typename Function>
  Function entry(const char* name) {
    return reinterpret_cast<Function>(library.symbol(name));
  }

  Reported reported(const std::string& path, int* result = nullptr) {
    CacheIO::AvailableChannelArray grids;
    const int code = listGrids(path.c_str(), &grids);
    if (result) *result = code;
    Reported out;
    for (const CacheIO::AvailableChannels& grid : grids) out.emplace_back(grid.name.c_str(), grid.flag);
    return out;
  }

  // Resets `frame` as the loader does and calls `importer(mappings, count)` with the parsed string.
  template <typename Importer>
  static int importWith(CorvaneFrameData& frame, const char* mappings, bool headerOnly, Importer importer) {
    CorvaneMappings::GridMappingArray parsed;
    CorvaneMappings::ParseChannelMappings(mappings, parsed);
    frame.resetFrame(headerOnly);
    return importer(parsed.data, parsed.size());
  }

  orv::platform::DynamicLibrary library;
  CacheIO::InitializeFunction initialize = nullptr;
  CacheIO::SetThreadManagerFunction setManager = nullptr;
  CacheIO::ReleaseThreadManagerFunction releaseManager = nullptr;
  CacheIO::GetAvailableChannelsFunction listGrids = nullptr;
};

// The real plug-in `stem` of the build.
inline std::string PluginFile(const char* stem) {
  return std::string(ORV_PLUGIN_DIR) + "/" + stem + orv::platform::kLibraryFileExtension;
}

// The frame's grid coordinates of world point p (p * M + t with the frame's transform).
inline std::array<double, 3> FrameGridOf(const CorvaneFrameData& frame, const std::array<double, 3>& p) {
  const float* m = frame.transform;
  std::array<double, 3> g;
  for (int c = 0; c < 3; ++c) g[c] = p[0] * m[c] + p[1] * m[3 + c] + p[2] * m[6 + c] + m[9 + c];
  return g;
}

// Collects a plug-in's "#" log lines, which it writes to the debugger output.
class PluginLog {
 public:
  PluginLog() : path_(ProcessTempPath("plugin-log.txt")) {
    std::remove(path_.c_str());
    orv::platform::SetEnvironmentValue("ORV_DEBUG_OUTPUT", path_.c_str());
  }
  ~PluginLog() {
    orv::platform::SetEnvironmentValue("ORV_DEBUG_OUTPUT", nullptr);
    std::remove(path_.c_str());
  }
  std::string text() const { return ReadWholeFile(path_); }

 private:
  std::string path_;
};
