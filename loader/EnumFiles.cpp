#include "loader/EnumFiles.h"

#include <cstdlib>

#include "loader/Plugins.h"
#include "support/FramePattern.h"

namespace CorvaneEnum {

constexpr int kExactMode = 2;

// The listed names, read through one accessor.
struct StringListView {
  const StringList& list;
  int size() const { return list.count(); }
  const char* at(int i) const { return list.at(i); }
};

bool EnumFiles::onFile(int frame, const char* fileName) {
  if (frame == NoFrame) return false;
  if (exactMatch) {
    if (frame != requestedFrame) return false;
  } else if (!acceptedName.empty()) {
    const long long current = std::llabs(static_cast<long long>(chosenFrame) - requestedFrame);
    const long long offered = std::llabs(static_cast<long long>(frame) - requestedFrame);
    if (offered >= current) return false;
  }
  chosenFrame = frame;
  acceptedName = fileName;
  return true;
}

void EnumFiles::offerFiles(const std::string& pattern, int mode, const StringListView& files) {
  for (int i = 0; i < files.size(); ++i) {
    const char* file = files.at(i);
    if (!file) continue;
    const int frame = FrameNumberFromFileName(file);
    if (mode == 0 || ExpandFramePattern(pattern.c_str(), frame, "") == file) onFile(frame, file);
  }
}

bool EnumFiles::Enumerate(const char* pattern, int mode) {
  if (!pattern) return false;
  begin(pattern, mode);
  StringList files;
  if (!HasFrameToken(pattern)) {
    const bool found = ListMatchingFiles(pattern, files) && files.count() > 0;
    acceptedName.clear();
    if (!found) return false;
    acceptedName = pattern;
    onFile(NoFrame, pattern);
    return true;
  }
  const std::string wildcard = mode == kExactMode ? ExpandFramePattern(pattern, requestedFrame, "")
                                                  : ExpandFramePattern(pattern, NoFrame, "*");
  ListMatchingFiles(wildcard.c_str(), files);
  acceptedName.clear();
  if (files.count() == 0 && mode != kExactMode) return false;
  const StringListView view{files};
  if (files.count() == 1) {
    onFile(requestedFrame, files.at(0));
  } else {
    offerFiles(pattern, mode, view);
  }
  if (acceptedName.empty() && LowerExtension(pattern) == "orv") {
    // Frame numbers written without leading zeros: every token becomes a single '#'.
    std::string unpadded = ExpandFramePattern(pattern, NoFrame, "#");
    if (mode == kExactMode) unpadded = ExpandFramePattern(unpadded.c_str(), requestedFrame, "");
    offerFiles(unpadded, mode, view);
  }
  return true;
}

bool Find3rdPartyCacheChannelsEnum::onFile(int /*frame*/, const char* fileName) {
  const std::string extension = LowerExtension(fileName);
  CorvanePlugins::Plugin plugin;
  if (extension == "f3d") {
    plugin = CorvanePlugins::Plugin::Field3D;
  } else if (extension == "vdb") {
    plugin = CorvanePlugins::Plugin::OpenVDB;
  } else {
    return false;
  }
  const CorvanePlugins::PluginFunctions* functions = CorvanePlugins::BoundPlugin(plugin);
  if (!functions || !target_) return true;
  CacheIO::AvailableChannelArray reported;
  functions->getAvailableChannels(fileName, &reported);
  for (const CacheIO::AvailableChannels& grid : reported) {
    bool known = false;
    for (const CacheIO::AvailableChannels& existing : *target_) {
      if (existing.name.equals(grid.name.c_str())) {
        known = true;
        break;
      }
    }
    if (!known && !target_->Append(grid)) return true;
  }
  return true;
}

void CollectAvailableChannels(const char* path, CacheIO::AvailableChannelArray& target) {
  Find3rdPartyCacheChannelsEnum collector(&target);
  collector.Enumerate(path, -1);
}

}  // namespace CorvaneEnum
