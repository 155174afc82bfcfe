// The entry points of openvdbio.so, with C linkage. Nothing thrown inside leaves them: OpenVDB's
// I/O errors become kImportCannotOpen, memory exhaustion and any other failure kImportBroken.
// Their work stays within the threads of the thread manager the loader handed over.
// ExportFrame is not offered: the loader never calls it.
#include <openvdb/openvdb.h>
#include <tbb/task_arena.h>

#include <exception>
#include <new>

#include "cache/CorvaneFrameData.h"
#include "orv/CacheIO.h"
#include "plugins/PluginExport.h"
#include "plugins/openvdbio/VdbFrameImport.h"
#include "plugins/ImportCodes.h"
#include "support/Log.h"
#include "support/threading/DefaultThreadCount.h"

namespace {

// The manager the loader handed over; imports run their parallel copies on it. Entry points are
// called on the host's thread, one at a time.
KUtils::ThreadManager* heldManager = nullptr;

// OpenVDB's own parallel work (bounding boxes, freeing trees) runs in an arena no wider than the
// threads the library's jobs use on the held manager, and on the calling thread alone without one,
// so the plug-in never starts more threads than the host granted.
template <typename Body>
int withinHeldThreads(Body body) {
  tbb::task_arena arena(heldManager ? CVNUtils::DefaultThreadCount() : 1);
  return arena.execute(body);
}

template <typename Body>
int guarded(const char* path, Body body) {
  using namespace OpenVdbIo;
  try {
    return withinHeldThreads(body);
  } catch (const openvdb::IoError& error) {
    LogMessage("#openvdbio: cannot read %s: %s\n", path, error.what());
    return kImportCannotOpen;
  } catch (const std::bad_alloc&) {
    LogMessage("#openvdbio: out of memory reading %s\n", path);
    return kImportBroken;
  } catch (const std::exception& error) {
    LogMessage("#openvdbio: %s is broken: %s\n", path, error.what());
    return kImportBroken;
  } catch (...) {
    LogMessage("#openvdbio: %s could not be read\n", path);
    return kImportBroken;
  }
}

}  // namespace

PLUGIN_EXPORT int Initialize() {
  try {
    openvdb::initialize();
    return 0;
  } catch (...) {
    return 1;
  }
}

PLUGIN_EXPORT int SetThreadManager(KUtils::ThreadManager* manager) {
  heldManager = manager;
  return 0;
}

PLUGIN_EXPORT int ReleaseThreadManager() {
  heldManager = nullptr;
  return 0;
}

PLUGIN_EXPORT int ImportFrameVDB(const char* path, CorvaneFrameData* frame, void* /*scratch*/,
                                 bool mode, CacheIO::GridMapping* mappings, int mappingCount,
                                 long long maxVoxels) {
  if (!path || !frame) return kImportCannotOpen;
  OpenVdbIo::VdbImportRequest request;
  request.path = path;
  request.headerOnly = mode;
  request.mappings = mappings;
  request.mappingCount = mappings && mappingCount > 0 ? mappingCount : 0;
  request.maxVoxels = maxVoxels;
  request.manager = heldManager;
  return guarded(path, [&] { return OpenVdbIo::ImportVdbFrame(request, *frame); });
}

PLUGIN_EXPORT int GetAvailableChannels(const char* path, CacheIO::AvailableChannelArray* grids) {
  if (!path || !grids) return kImportCannotOpen;
  return guarded(path, [&] { return OpenVdbIo::ListVdbChannels(path, *grids); });
}
