// The entry points of field3dio.so, with C linkage.
//
// This build has no Field3D library, and Field3D files are HDF5 containers that cannot be read
// soundly without one. The plug-in therefore binds with its interface complete, reports no grids
// for any file and refuses every import with kNoField3DSupport, so a host never receives a frame
// for data that was not read.
#include "orv/CacheIO.h"
#include "plugins/PluginExport.h"
#include "support/Log.h"

namespace {

// Import result: the file cannot be used by this build (the reader's "cannot open or use").
constexpr int kNoField3DSupport = 3;

KUtils::ThreadManager* heldManager = nullptr;

}  // namespace

PLUGIN_EXPORT int Initialize() { return 0; }

PLUGIN_EXPORT int SetThreadManager(KUtils::ThreadManager* manager) {
  heldManager = manager;
  return 0;
}

PLUGIN_EXPORT int ReleaseThreadManager() {
  heldManager = nullptr;
  return 0;
}

PLUGIN_EXPORT int ImportFrameF3D(const char* path, CorvaneFrameData* /*frame*/, bool /*mode*/,
                                 CacheIO::GridMapping* /*mappings*/, int /*mappingCount*/) {
  LogMessage("#field3dio: Field3D files cannot be read by this build: %s\n", path ? path : "");
  return kNoField3DSupport;
}

PLUGIN_EXPORT int GetAvailableChannels(const char* /*path*/, CacheIO::AvailableChannelArray* /*grids*/) {
  return kNoField3DSupport;
}
