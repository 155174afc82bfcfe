#include "loader/FrameOpen.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "cache/CorvaneFrameData.h"
#include "loader/ChannelMappings.h"
#include "loader/PluginImport.h"
#include "orv/OrvLoader.h"
#include "support/ExceptionGuard.h"
#include "support/FramePattern.h"
#include "support/Log.h"
#include "support/TextConversion.h"

namespace CorvaneFrame {

FrameDataArray& SharedFrameList() {
  static FrameDataArray list;
  return list;
}

}  // namespace CorvaneFrame

namespace {

constexpr int kLoadBadPath = 3;  // empty path or an extension no reader handles
constexpr int kLoadBroken = 4;   // broken file or memory exhausted

// Frames with a voxel limit or the import mode hold partial content: they are never shared.
bool isShareable(long long maxVoxels, bool mode) { return maxVoxels == -1 && !mode; }

// The address as the log lines show it: its low 32 bits in hexadecimal.
unsigned int logAddress(const CorvaneFrameData* frame) {
  return static_cast<unsigned int>(reinterpret_cast<std::uintptr_t>(frame));
}

int modeBit(const CorvaneFrameData& frame) { return (frame.flags >> 2) & 1; }

void logReference(const char* format, const CorvaneFrameData& frame) {
  LogMessage(format, logAddress(&frame), frame.referenceCount, modeBit(frame), frame.path.c_str());
}

int listedIndex(const IOrv* frame) {
  const CorvaneFrame::FrameDataArray& list = CorvaneFrame::SharedFrameList();
  for (int i = 0; i < list.size(); ++i) {
    if (static_cast<const IOrv*>(list[i]) == frame) return i;
  }
  return -1;
}

CorvaneFrameData* findShared(const char* path, const char* mappings, long long modificationTime) {
  for (CorvaneFrameData* frame : CorvaneFrame::SharedFrameList()) {
    if (frame->path == path && frame->mappingString == mappings &&
        frame->modificationTime == modificationTime) {
      return frame;
    }
  }
  return nullptr;
}

int readFrame(CorvaneFrameData& frame, const char* path, const char* mappings,
              long long maxVoxels, bool mode) {
  frame.resetFrame(mode);
  if (!path || !*path) return kLoadBadPath;
  const std::string extension = LowerExtension(path);
  if (extension == "orv") return ImportOrv(&frame, path, mode);
  if (extension == "vdb" || extension == "f3d") {
    return ImportFrameThroughPlugin(&frame, path, mappings, maxVoxels, mode);
  }
  return kLoadBadPath;
}

// Reads the frame; a refusal ends with a '#' line carrying the load result, the one place a host
// (which only sees a null frame) can learn it.
int loadFrame(CorvaneFrameData& frame, const char* path, const char* mappings,
              long long maxVoxels, bool mode) {
  const int result = readFrame(frame, path, mappings, maxVoxels, mode);
  if (result != 0) LogMessage("#Frame %s not loaded, result %d\n", path ? path : "", result);
  return result;
}

}  // namespace

IOrv* OpenFrame(const char* path, const char* mappings, long long maxVoxels, bool mode) {
  EnsureLoaderTeardown();
  if (!mappings) mappings = "";
  const bool shareable = isShareable(maxVoxels, mode);
  const long long modificationTime = FileModificationTime(path);
  if (shareable && path) {
    if (CorvaneFrameData* shared = findShared(path, mappings, modificationTime)) {
      ++shared->referenceCount;
      logReference("CorvaneFrameData refCount++ %08X %d, I:%d, %s\n", *shared);
      return shared;
    }
  }

  // Owned here until returned, so a failure (or an exception) on the way frees it.
  std::unique_ptr<CorvaneFrameData> frame(new (std::nothrow) CorvaneFrameData());
  if (!frame) return nullptr;
  if (loadFrame(*frame, path, mappings, maxVoxels, mode) != 0) return nullptr;
  frame->path = path;
  frame->modificationTime = modificationTime;
  frame->mappingString = mappings;
  if (shareable) {
    frame->referenceCount = 1;
    if (!CorvaneFrame::SharedFrameList().Append(frame.get())) {
      LogMessage("#CorvaneFrameData cannot be listed (out of memory): %s\n", path);
      return nullptr;
    }
    logReference("CorvaneFrameData refCount=1 %08X %d, I:%d, %s\n", *frame);
  }
  return frame.release();
}

int LoadPrivateFrame(const char* path, const char* mappings, bool mode, CorvaneFrameData** frame) {
  *frame = nullptr;
  EnsureLoaderTeardown();
  CorvaneFrameData* loaded = new (std::nothrow) CorvaneFrameData();
  if (!loaded) return kLoadBroken;
  const int code = loadFrame(*loaded, path, mappings ? mappings : "", -1, mode);
  if (code != 0) {
    delete loaded;
    return code;
  }
  loaded->path = path;
  loaded->mappingString = mappings ? mappings : "";
  loaded->modificationTime = FileModificationTime(path);
  *frame = loaded;
  return 0;
}

void ReleaseAllListedFrames() {
  CorvaneFrame::FrameDataArray& list = CorvaneFrame::SharedFrameList();
  for (int i = list.size() - 1; i >= 0; --i) {
    CorvaneFrameData* frame = list[i];
    LogMessage("Corvane cache file not released %d ref:%d\n", frame->frameNumber,
               frame->referenceCount);
    delete frame;
  }
  list.Clear();
}

IOrv* newIOrv(const char* path) {
  return orv::GuardedCall("newIOrv", static_cast<IOrv*>(nullptr), [&] {
    return OpenFrame(path, DefaultChannelMappings(path).c_str(), -1, false);
  });
}

IOrv* newIOrvMaxVox(const char* path, long long maxVoxels, bool mode) {
  return orv::GuardedCall("newIOrvMaxVox", static_cast<IOrv*>(nullptr), [&] {
    return OpenFrame(path, DefaultChannelMappings(path).c_str(), maxVoxels, mode);
  });
}

IOrv* newIOrvWithChannelsMapping(const char* path, const char* mappings) {
  return orv::GuardedCall("newIOrvWithChannelsMapping", static_cast<IOrv*>(nullptr),
                          [&] { return OpenFrame(path, mappings, -1, false); });
}

IOrv* newIOrvWithChannelsMappingMaxVox(const char* path, const char* mappings,
                                       long long maxVoxels, bool mode) {
  return orv::GuardedCall("newIOrvWithChannelsMappingMaxVox", static_cast<IOrv*>(nullptr),
                          [&] { return OpenFrame(path, mappings, maxVoxels, mode); });
}

void deleteIOrv(IOrv* frame) { orv::GuardedCall("deleteIOrv", [&] { ReleaseFrame(frame); }); }

void ReleaseFrame(IOrv* frame) {
  if (!frame) return;
  const int index = listedIndex(frame);
  if (index < 0) return;
  CorvaneFrame::FrameDataArray& list = CorvaneFrame::SharedFrameList();
  CorvaneFrameData* listed = list[index];
  --listed->referenceCount;
  logReference("CorvaneFrameData refCount-- %08X %d, I:%d, %s\n", *listed);
  if (listed->referenceCount > 0) return;
  list.Remove(index, 1, false, true);
  delete listed;
}
