// The module as a host of liborvloader.so: the library set up once (plug-ins beside it, its own
// thread pool for decoding), and frames opened and released one thread at a time, as the library
// asks of its hosts. Every function here may run without the interpreter lock.
#pragma once

#include <mutex>
#include <string>
#include <vector>

class IOrv;

namespace orvpy {

struct OpenRequest {
  std::string path;
  const char* mapping = nullptr;  // null: the library's default mapping for the file
  bool headerOnly = false;
  long long maxVoxels = -1;  // -1: no limit
};

// A frame the library handed out, or why it did not.
struct OpenedFrame {
  IOrv* frame = nullptr;
  bool shared = false;  // released with deleteIOrv; private frames are deleted
  int result = 0;       // the library's load result when frame is null (0: not reported)
  std::vector<std::string> log;
};

OpenedFrame OpenFrame(const OpenRequest& request);
void ReleaseFrame(IOrv* frame, bool shared);

// Held around any other call of the library's exported functions.
std::unique_lock<std::mutex> LockLoader();

// The plug-ins loaded: bit 0 field3dio, bit 1 openvdbio.
int LoadedPlugins();

}  // namespace orvpy
