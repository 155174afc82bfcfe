#include "converter/FrameLoading.h"

#include <mutex>

#include "cache/CorvaneFrameData.h"
#include "loader/ChannelMappings.h"
#include "loader/FrameOpen.h"
#include "loader/Plugins.h"
#include "orv/OrvLoader.h"
#include "support/FramePattern.h"
#include "support/platform/Platform.h"

namespace {

std::mutex& pluginLock() {
  static std::mutex lock;
  return lock;
}

// Loads the plug-ins once, under the plug-in lock: plain module names, which the program's run
// path resolves to the plug-in folder.
void ensurePlugins() {
  static bool attempted = false;
  if (attempted) return;
  attempted = true;
  initalizeOrvaLoader(nullptr, nullptr, 0);
}

std::string reasonFor(int code, const std::string& path) {
  const std::string extension = LowerExtension(path.c_str());
  switch (code) {
    case 2:
      return "no plug-in to read ." + extension + " files was found";
    case 3:
      if (extension != "orv" && extension != "vdb" && extension != "f3d") {
        return "not a file type orv reads (.orv, .vdb, .f3d)";
      }
      return "the file cannot be opened or is not a ." + extension + " file";
    case 4:
      return "the file is damaged (or memory ran out while reading it)";
    case 5:
      return "the file holds none of the grids asked for";
    case 6:
      return "its grids have different or singular transforms";
    case 9:
      return "no grid of the file maps to a channel";
    case 12:
      return "not a cache file: no footer";
    default:
      return "the file cannot be loaded (code " + std::to_string(code) + ")";
  }
}

}  // namespace

void FrameDeleter::operator()(CorvaneFrameData* frame) const { delete frame; }

bool ReadThroughPlugin(const std::string& path) {
  const std::string extension = LowerExtension(path.c_str());
  return extension == "vdb" || extension == "f3d";
}

std::unique_lock<std::mutex> LockPlugins() {
  std::unique_lock<std::mutex> lock(pluginLock());
  ensurePlugins();
  return lock;
}

bool PluginBoundFor(const std::string& path) {
  const std::unique_lock<std::mutex> lock = LockPlugins();
  return CorvanePlugins::BoundPlugin(LowerExtension(path.c_str()) == "f3d"
                                         ? CorvanePlugins::Plugin::Field3D
                                         : CorvanePlugins::Plugin::OpenVDB) != nullptr;
}

OwnedFrame LoadFrame(const std::string& path, const char* mappings, bool headerOnly,
                     std::string& reason) {
  if (!path.empty() &&
      !orv::platform::FileAccessible(path.c_str(), orv::platform::Access::Exists)) {
    reason = "no such file";
    return nullptr;
  }
  CorvaneFrameData* frame = nullptr;
  int code = 0;
  if (ReadThroughPlugin(path)) {
    const std::unique_lock<std::mutex> lock = LockPlugins();
    const std::string defaults = mappings ? "" : DefaultChannelMappings(path.c_str());
    code =
        LoadPrivateFrame(path.c_str(), mappings ? mappings : defaults.c_str(), headerOnly, &frame);
  } else {
    code = LoadPrivateFrame(path.c_str(), mappings, false, &frame);
  }
  if (code != 0) reason = reasonFor(code, path);
  return OwnedFrame(frame);
}
