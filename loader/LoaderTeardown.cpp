// The loader-wide teardown: runs once when the library is unloaded or the program ends.
#include "loader/FrameOpen.h"

namespace {

class LoaderTeardown {
 public:
  // The frame list is created first so that it outlives this object.
  LoaderTeardown() { CorvaneFrame::SharedFrameList(); }
  ~LoaderTeardown() { ReleaseAllListedFrames(); }
};

}  // namespace

void EnsureLoaderTeardown() { static LoaderTeardown teardown; }
