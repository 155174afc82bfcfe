// An IO plug-in for tests. Its "cache files" are text files with one grid per line, "<name> <flag>";
// GetAvailableChannels reports those lines in order. An import succeeds when the file exists and
// gives the frame the resolution (mapping count, 1, 1), so a test sees what arrived. Compile-time
// switches leave out one entry point or make Initialize or SetThreadManager fail.
#include <cstdio>
#include <cstring>

#include "cache/CorvaneFrameData.h"
#include "orv/CacheIO.h"
#include "support/CvnArray.h"

#define PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

KUtils::ThreadManager* heldManager = nullptr;

int importFrame(const char* path, CorvaneFrameData* frame, int mappingCount) {
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return 3;
  std::fclose(file);
  frame->gridSize[0] = mappingCount;
  frame->gridSize[1] = 1;
  frame->gridSize[2] = 1;
  return 0;
}

}  // namespace

PLUGIN_EXPORT int Initialize() {
#ifdef TEST_PLUGIN_INITIALIZE_FAILS
  return 1;
#else
  return 0;
#endif
}

PLUGIN_EXPORT int SetThreadManager(KUtils::ThreadManager* manager) {
#ifdef TEST_PLUGIN_REFUSES_MANAGER
  (void)manager;
  return 1;
#else
  heldManager = manager;
  return 0;
#endif
}

PLUGIN_EXPORT int ReleaseThreadManager() {
  heldManager = nullptr;
  return 0;
}

PLUGIN_EXPORT int ImportFrameVDB(const char* path, CorvaneFrameData* frame, void* /*scratch*/,
                                 bool /*mode*/, CacheIO::GridMapping* /*mappings*/,
                                 int mappingCount, long long /*maxVoxels*/) {
  return importFrame(path, frame, mappingCount);
}

PLUGIN_EXPORT int ImportFrameF3D(const char* path, CorvaneFrameData* frame, bool /*mode*/,
                                 CacheIO::GridMapping* /*mappings*/, int mappingCount) {
  return importFrame(path, frame, mappingCount);
}

#ifndef TEST_PLUGIN_WITHOUT_GRID_LIST
PLUGIN_EXPORT int GetAvailableChannels(const char* path, CacheIO::AvailableChannelArray* grids) {
  std::FILE* file = std::fopen(path, "rb");
  if (!file || !grids) {
    if (file) std::fclose(file);
    return 0;
  }
  char name[256];
  int flag = 0;
  while (std::fscanf(file, "%255s %d", name, &flag) == 2) {
    CacheIO::AvailableChannels grid;
    grid.name.assign(name);
    grid.flag = static_cast<unsigned char>(flag != 0);
    if (!grids->Append(grid)) break;
  }
  std::fclose(file);
  return 0;
}
#endif

#ifndef TEST_PLUGIN_WITHOUT_EXPORT
PLUGIN_EXPORT int ExportFrame() { return 0; }
#endif
