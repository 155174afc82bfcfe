// The two IO plug-ins, field3dio and openvdbio: their file names, loading and binding, the thread
// manager they are handed, and their unloading with the loader.
//
// Loader-wide state: per plug-in a library handle and a table of bound entry points. A plug-in is
// bound when every required entry point was found and its Initialize returned 0; a plug-in whose
// binding failed stays loaded and unbound, and later attempts report failure at once.
#pragma once

#include <string>

#include "orv/CacheIO.h"

namespace CorvanePlugins {

enum class Plugin { Field3D = 0, OpenVDB = 1 };

struct PluginFunctions {
  CacheIO::InitializeFunction initialize = nullptr;
  CacheIO::SetThreadManagerFunction setThreadManager = nullptr;
  CacheIO::ReleaseThreadManagerFunction releaseThreadManager = nullptr;
  CacheIO::ImportFrameF3DFunction importFrameF3D = nullptr;
  CacheIO::ImportFrameVDBFunction importFrameVDB = nullptr;
  CacheIO::GetAvailableChannelsFunction getAvailableChannels = nullptr;
  CacheIO::ExportFrameFunction exportFrame = nullptr;  // optional, never called
};

// The module stem: "field3dio" or "openvdbio".
const char* PluginStem(Plugin plugin);

// The file a plug-in is loaded from: stem.so without a suffix; stem_suffix.so without folders;
// otherwise the first existing folder/stem_suffix.so of the ';'-separated folder list, or the
// empty string when none exists.
std::string PluginFileName(const char* stem, const char* folders, const char* suffix);

// Loads and binds `plugin` unless it is already loaded; true when it is bound.
bool LoadPlugin(Plugin plugin, const char* folders, const char* suffix);

// The bound entry points, or null when the plug-in is not bound.
const PluginFunctions* BoundPlugin(Plugin plugin);

// Hands `manager` to every bound plug-in, field3dio first. Returns the number handed over, and
// sets `allAccepted` to false when one refused (a non-zero result).
int HandThreadManagerToPlugins(KUtils::ThreadManager* manager, bool& allAccepted);

// Calls ReleaseThreadManager of every bound plug-in, field3dio first.
void ReleasePluginThreadManagers();

// Unloads both plug-ins, field3dio first; their tables are cleared. Runs when the loader unloads.
void UnloadPlugins();

}  // namespace CorvanePlugins
