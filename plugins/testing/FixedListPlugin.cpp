// An IO plug-in for tests. Its "cache files" are text files with one grid per line, "<name> <flag>";
// GetAvailableChannels reports those lines in order. An import succeeds when the file exists and
// gives the frame the resolution (mapping count, 1, 1) and, for each mapping to a grid channel,
// that channel filled with the mapping's position, so a test sees what arrived. Every call is
// appended, as "<stem> <call>;", to the environment variable ORV_TEST_PLUGIN_CALLS, so a test
// sees the order of calls across modules; unloading appends "<stem> unloaded;" to it.
// Compile-time switches leave out one entry point, make Initialize or SetThreadManager fail, or
// make the imports and the grid list throw.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "cache/CorvaneFrameData.h"
#include "orv/CacheIO.h"
#include "plugins/PluginExport.h"
#include "support/CvnArray.h"
#include "support/platform/Platform.h"

namespace {

KUtils::ThreadManager* heldManager = nullptr;
// The process environment is the one log every module of the process shares.
void record(const std::string& call) {
  const char* previous = std::getenv("ORV_TEST_PLUGIN_CALLS");
  const std::string calls = std::string(previous ? previous : "") + TEST_PLUGIN_STEM " " + call + ";";
  orv::platform::SetEnvironmentValue("ORV_TEST_PLUGIN_CALLS", calls.c_str());
}

// Decimal text without std::to_string, whose shared digit table would keep the module loaded.
std::string decimal(long long value) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld", value);
  return text;
}

int importFrame(const char* path, CorvaneFrameData* frame, const CacheIO::GridMapping* mappings,
                int mappingCount) {
#ifdef TEST_PLUGIN_THROWS
  throw std::bad_alloc();
#endif
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return 3;
  std::fclose(file);
  frame->gridSize[0] = mappingCount;
  frame->gridSize[1] = 1;
  frame->gridSize[2] = 1;
  for (int m = 0; m < mappingCount; ++m) {
    const int id = mappings[m].channel;
    if (!CorvaneFrameData::IsGridChannel(id)) continue;
    float* values = frame->allocateChannel(id);
    if (!values) return 4;
    for (int i = 0; i < mappingCount; ++i) values[i] = static_cast<float>(m);
    frame->channelMask |= 1u << id;
  }
  return 0;
}

std::string describeMappings(const CacheIO::GridMapping* mappings, int count) {
  std::string text;
  for (int m = 0; m < count; ++m) {
    text += decimal(mappings[m].channel) + "," + mappings[m].name.c_str() + ";";
    if (mappings[m].scale != 1.0f) text += "(scale)";
  }
  return text;
}

__attribute__((destructor)) void recordUnload() { record("unloaded"); }

}  // namespace

PLUGIN_EXPORT int Initialize() {
  record("Initialize");
#ifdef TEST_PLUGIN_INITIALIZE_FAILS
  return 1;
#else
  return 0;
#endif
}

PLUGIN_EXPORT int SetThreadManager(KUtils::ThreadManager* manager) {
  char address[32];
  std::snprintf(address, sizeof address, "%p", static_cast<void*>(manager));
  record(std::string("SetThreadManager ") + address);
#ifdef TEST_PLUGIN_REFUSES_MANAGER
  (void)manager;
  return 1;
#else
  heldManager = manager;
  return 0;
#endif
}

PLUGIN_EXPORT int ReleaseThreadManager() {
  record("ReleaseThreadManager");
  heldManager = nullptr;
  return 0;
}

PLUGIN_EXPORT int ImportFrameVDB(const char* path, CorvaneFrameData* frame, void* /*scratch*/,
                                 bool mode, CacheIO::GridMapping* mappings, int mappingCount,
                                 long long maxVoxels) {
  record("ImportFrameVDB mode=" + decimal(mode) + " max=" + decimal(maxVoxels) +
         " " + describeMappings(mappings, mappingCount));
  return importFrame(path, frame, mappings, mappingCount);
}

PLUGIN_EXPORT int ImportFrameF3D(const char* path, CorvaneFrameData* frame, bool mode,
                                 CacheIO::GridMapping* mappings, int mappingCount) {
  record("ImportFrameF3D mode=" + decimal(mode) + " " +
         describeMappings(mappings, mappingCount));
  return importFrame(path, frame, mappings, mappingCount);
}

#ifndef TEST_PLUGIN_WITHOUT_GRID_LIST
PLUGIN_EXPORT int GetAvailableChannels(const char* path, CacheIO::AvailableChannelArray* grids) {
  record(std::string("GetAvailableChannels ") + (path ? path : ""));
#ifdef TEST_PLUGIN_THROWS
  throw std::runtime_error("grid list failed");
#endif
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
