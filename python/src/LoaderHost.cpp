#include "python/src/LoaderHost.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "orv/OrvLoader.h"
#include "python/src/LibraryLog.h"

namespace orvpy {
namespace {

// The loader's own line that closes a refused load.
constexpr const char* kResultMarker = " not loaded, result ";

struct LoaderState {
  std::mutex lock;  // newIOrv.../deleteIOrv one at a time
  int plugins = 0;
};

// Set up on first use. The thread pool lives as long as the process: frames may be released by
// the interpreter's last collection, after any exit hook.
LoaderState& loader() {
  static LoaderState* state = [] {
    ListenToLibraryLog();
    auto* created = new LoaderState;
    created->plugins = initalizeOrvaLoader(nullptr, nullptr, 0);
    // The library installs a thread manager only beside a plug-in; without one, frames decode
    // on the calling thread.
    if (created->plugins != 0) {
      initalizeOrvaLoader(nullptr, nullptr, 0, createDefaultThreadManager());
    }
    return created;
  }();
  return *state;
}

int resultFromLog(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    const size_t at = line.find(kResultMarker);
    if (at != std::string::npos) return std::atoi(line.c_str() + at + std::strlen(kResultMarker));
  }
  return 0;
}

}  // namespace

OpenedFrame OpenFrame(const OpenRequest& request) {
  LoaderState& state = loader();
  OpenedFrame opened;
  opened.shared = request.maxVoxels == -1 && !request.headerOnly;
  LogWindow window;
  {
    std::lock_guard<std::mutex> guard(state.lock);
    const char* path = request.path.c_str();
    if (!opened.shared) {
      opened.frame = request.mapping
                         ? newIOrvWithChannelsMappingMaxVox(path, request.mapping,
                                                            request.maxVoxels, request.headerOnly)
                         : newIOrvMaxVox(path, request.maxVoxels, request.headerOnly);
    } else {
      opened.frame =
          request.mapping ? newIOrvWithChannelsMapping(path, request.mapping) : newIOrv(path);
    }
  }
  if (!opened.frame) {
    opened.log = window.lines();
    opened.result = resultFromLog(opened.log);
  }
  return opened;
}

void ReleaseFrame(IOrv* frame, bool shared) {
  if (!frame) return;
  LoaderState& state = loader();
  std::lock_guard<std::mutex> guard(state.lock);
  if (shared) {
    deleteIOrv(frame);
  } else {
    delete frame;
  }
}

std::unique_lock<std::mutex> LockLoader() { return std::unique_lock<std::mutex>(loader().lock); }

int LoadedPlugins() { return loader().plugins; }

}  // namespace orvpy
