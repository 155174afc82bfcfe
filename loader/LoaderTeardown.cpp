// The loader-wide teardown: runs once when the library is unloaded or the program ends.
#include "loader/FrameOpen.h"
#include "loader/Plugins.h"

namespace {

class LoaderTeardown {
 public:
  // The frame list is created first so that it outlives this object.
  LoaderTeardown() { CorvaneFrame::SharedFrameList(); }
  // Frames first: they may still hold memory a plug-in filled. Then field3dio, then openvdbio.
  ~LoaderTeardown() {
    ReleaseAllListedFrames();
    CorvanePlugins::UnloadPlugins();
  }
};

}  // namespace

void EnsureLoaderTeardown() { static LoaderTeardown teardown; }
