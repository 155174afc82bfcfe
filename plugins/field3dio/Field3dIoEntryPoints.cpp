// The entry points of field3dio.so, with C linkage. Nothing thrown inside leaves them: memory
// exhaustion and any other failure become kImportBroken with a "#field3dio:" log line.
#include <exception>
#include <new>

#include "cache/CorvaneFrameData.h"
#include "orv/CacheIO.h"
#include "plugins/PluginExport.h"
#include "plugins/field3dio/Field3dFile.h"
#include "plugins/field3dio/Field3dFrameImport.h"
#include "plugins/ImportCodes.h"
#include "support/Log.h"

namespace {

// The manager the loader handed over; imports decode on it. Entry points are called on the host's
// thread, one at a time.
KUtils::ThreadManager* heldManager = nullptr;

template <typename Body>
int guarded(const char* path, Body body) {
  using namespace Field3dIo;
  try {
    return body();
  } catch (const std::bad_alloc&) {
    LogMessage("#field3dio: out of memory reading %s\n", path);
  } catch (const std::exception& error) {
    LogMessage("#field3dio: %s could not be read: %s\n", path, error.what());
  } catch (...) {
    LogMessage("#field3dio: %s could not be read\n", path);
  }
  return kImportBroken;
}

// Opens `path`, logging why when it cannot be used.
int openFile(const char* path, Field3dIo::OpenedFile& file) {
  std::string reason;
  const int result = Field3dIo::OpenField3dFile(path, file, reason);
  if (result != kImportOk) LogMessage("#field3dio: cannot read %s: %s\n", path, reason.c_str());
  return result;
}

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

PLUGIN_EXPORT int ImportFrameF3D(const char* path, CorvaneFrameData* frame, bool mode,
                                 CacheIO::GridMapping* mappings, int mappingCount) {
  if (!path || !frame) return kImportCannotOpen;
  return guarded(path, [&] {
    Field3dIo::OpenedFile file;
    const int opened = openFile(path, file);
    if (opened != kImportOk) return opened;
    Field3dIo::Field3dImportRequest request;
    request.path = path;
    request.headerOnly = mode;
    request.mappings = mappings;
    request.mappingCount = mappings && mappingCount > 0 ? mappingCount : 0;
    request.manager = heldManager;
    request.maxFloats = Field3dIo::FloatsLeftFor(*frame);
    return Field3dIo::ImportField3dFrame(*file.container, request, *frame);
  });
}

PLUGIN_EXPORT int GetAvailableChannels(const char* path, CacheIO::AvailableChannelArray* grids) {
  if (!path || !grids) return kImportCannotOpen;
  return guarded(path, [&] {
    Field3dIo::OpenedFile file;
    const int opened = openFile(path, file);
    if (opened != kImportOk) return opened;
    return Field3dIo::ListField3dChannels(*file.container, path, *grids);
  });
}
