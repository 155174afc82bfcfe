// Frames opened for conversion and inspection: .orv files through the cache reader, .vdb and .f3d
// files through the IO plug-ins. Each frame belongs to its caller alone (it is not in the loader's
// shared list), so frames load on several threads at once; a file that cannot be loaded comes
// with a reason a person can read.
#pragma once

#include <memory>
#include <mutex>
#include <string>

class CorvaneFrameData;

struct FrameDeleter {
  void operator()(CorvaneFrameData* frame) const;
};
using OwnedFrame = std::unique_ptr<CorvaneFrameData, FrameDeleter>;

// mappings: the channel mapping string of a .vdb or .f3d file; null for its default mappings.
// headerOnly: plug-ins read the grid descriptors only (the .orv reader always reads the whole
// file, which keeps its channels compressed). Null with `reason` set when the file cannot be
// loaded. The plug-ins are loaded on first need, from the folder the program finds them in, and
// are driven by one thread at a time.
OwnedFrame LoadFrame(const std::string& path, const char* mappings, bool headerOnly,
                     std::string& reason);

// True for a path whose file type only a plug-in reads (.vdb, .f3d).
bool ReadThroughPlugin(const std::string& path);

// True when the plug-in that reads path's file type is loaded and bound (loading it if need be).
bool PluginBoundFor(const std::string& path);

// The plug-in lock: plug-in calls (imports, listing a file's grids) run one at a time while it is
// held. The plug-ins are loaded on the first lock.
std::unique_lock<std::mutex> LockPlugins();
