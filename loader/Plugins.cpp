#include "loader/Plugins.h"

#include <cstring>

#include "support/Log.h"
#include "support/platform/DynamicLibrary.h"
#include "support/platform/Platform.h"

namespace CorvanePlugins {

namespace {

constexpr int kNameBufferSize = 1024;
constexpr size_t kFolderListLimit = 51200;
constexpr size_t kFolderLimit = 1023;
using orv::platform::kLibraryFileExtension;

struct PluginState {
  orv::platform::DynamicLibrary library;
  PluginFunctions functions;
  bool bound = false;
};

// Created on first use and freed by UnloadPlugins, never by a static destructor, so that the
// loader's teardown can still unload the plug-ins whatever the order in which static objects end.
// A plain pointer: it needs no destruction of its own.
PluginState* states = nullptr;

PluginState& state(Plugin plugin) {
  if (!states) states = new PluginState[2];
  return states[static_cast<int>(plugin)];
}

std::string boundedName(const char* format, const char* a, const char* b, const char* c,
                        const char* d = "", const char* e = "") {
  char buffer[kNameBufferSize];
  FormatBounded(buffer, kNameBufferSize, format, a, b, c, d, e);
  return buffer;
}

// Candidate for one folder; an existing file ends the search.
bool tryFolder(const std::string& folder, const char* stem, const char* suffix,
               std::string& name) {
  const char last = folder.back();
  const char* format = (last == '\\' || last == '/') ? "%s%s%s_%s%s" : "%s/%s%s_%s%s";
  std::string candidate =
      boundedName(format, folder.c_str(), "", stem, suffix, kLibraryFileExtension);
  if (!orv::platform::FileAccessible(candidate.c_str(), orv::platform::Access::Exists)) {
    return false;
  }
  name.swap(candidate);
  return true;
}

template <typename Function>
Function lookUp(orv::platform::DynamicLibrary& library, const char* name) {
  return reinterpret_cast<Function>(library.symbol(name));
}

bool tableComplete(Plugin plugin, const PluginFunctions& f) {
  const bool importer =
      plugin == Plugin::Field3D ? f.importFrameF3D != nullptr : f.importFrameVDB != nullptr;
  return f.initialize && f.setThreadManager && f.releaseThreadManager && importer &&
         f.getAvailableChannels;
}

void bindFunctions(Plugin plugin, PluginState& s) {
  orv::platform::DynamicLibrary& lib = s.library;
  PluginFunctions& f = s.functions;
  f.initialize = lookUp<CacheIO::InitializeFunction>(lib, "Initialize");
  f.setThreadManager = lookUp<CacheIO::SetThreadManagerFunction>(lib, "SetThreadManager");
  f.releaseThreadManager =
      lookUp<CacheIO::ReleaseThreadManagerFunction>(lib, "ReleaseThreadManager");
  if (plugin == Plugin::Field3D) {
    f.importFrameF3D = lookUp<CacheIO::ImportFrameF3DFunction>(lib, "ImportFrameF3D");
  } else {
    f.importFrameVDB = lookUp<CacheIO::ImportFrameVDBFunction>(lib, "ImportFrameVDB");
  }
  f.getAvailableChannels =
      lookUp<CacheIO::GetAvailableChannelsFunction>(lib, "GetAvailableChannels");
  if (plugin == Plugin::OpenVDB) {
    f.exportFrame = lookUp<CacheIO::ExportFrameFunction>(lib, "ExportFrame");
  }
}

}  // namespace

const char* PluginStem(Plugin plugin) {
  return plugin == Plugin::Field3D ? "field3dio" : "openvdbio";
}

std::string PluginFileName(const char* stem, const char* folders, const char* suffix) {
  if (!suffix) return boundedName("%s%s%s", "", stem, kLibraryFileExtension);
  if (!folders) return boundedName("%s%s_%s%s", "", stem, suffix, kLibraryFileExtension);
  const size_t listLength = strnlen(folders, kFolderListLimit);
  const std::string list(folders, listLength);
  std::string name;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t separator = list.find(';', start);
    const bool last = separator == std::string::npos;
    const size_t end = last ? list.size() : separator;
    std::string folder = list.substr(start, end - start);
    if (folder.size() > kFolderLimit) folder.resize(kFolderLimit);
    // A piece closed by ';' needs two characters; the last piece only needs one.
    const bool usable = last ? !folder.empty() : folder.size() >= 2;
    if (usable && tryFolder(folder, stem, suffix, name)) return name;
    if (last) break;
    start = separator + 1;
  }
  return std::string();
}

bool LoadPlugin(Plugin plugin, const char* folders, const char* suffix) {
  PluginState& s = state(plugin);
  if (s.library.isOpen()) return s.bound;
  const std::string fileName = PluginFileName(PluginStem(plugin), folders, suffix);
  if (fileName.empty()) return false;
  if (!s.library.open(fileName.c_str())) {
    LogMessage("Cannot load IO plug-in %s: %s\n", fileName.c_str(), s.library.lastError().c_str());
    return false;
  }
  bindFunctions(plugin, s);
  s.bound = tableComplete(plugin, s.functions) && s.functions.initialize() == 0;
  if (!s.bound) {
    LogMessage("IO plug-in %s is incomplete or failed to initialise\n", fileName.c_str());
    s.functions = PluginFunctions();
  }
  return s.bound;
}

const PluginFunctions* BoundPlugin(Plugin plugin) {
  const PluginState& s = state(plugin);
  return s.bound ? &s.functions : nullptr;
}

int HandThreadManagerToPlugins(KUtils::ThreadManager* manager, bool& allAccepted) {
  allAccepted = true;
  int handed = 0;
  for (Plugin plugin : {Plugin::Field3D, Plugin::OpenVDB}) {
    const PluginFunctions* f = BoundPlugin(plugin);
    if (!f) continue;
    ++handed;
    if (f->setThreadManager(manager) != 0) allAccepted = false;
  }
  return handed;
}

void ReleasePluginThreadManagers() {
  for (Plugin plugin : {Plugin::Field3D, Plugin::OpenVDB}) {
    if (const PluginFunctions* f = BoundPlugin(plugin)) f->releaseThreadManager();
  }
}

void UnloadPlugins() {
  if (!states) return;
  for (Plugin plugin : {Plugin::Field3D, Plugin::OpenVDB}) {
    PluginState& s = state(plugin);
    s.bound = false;
    s.functions = PluginFunctions();
    s.library.close();
  }
  delete[] states;
  states = nullptr;
}

}  // namespace CorvanePlugins
