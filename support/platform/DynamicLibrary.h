// Run-time loading of shared libraries, keeping the text of the last failure.
#pragma once

#include <string>

namespace orv {
namespace platform {

// The file name extension of loadable libraries on this system (".so", ".dll").
extern const char* const kLibraryFileExtension;

class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;
  // The library stays loaded until close(): plug-ins are unloaded explicitly, in a fixed order.
  ~DynamicLibrary() = default;

  // Loads `path` (a name without a folder goes through the system's library search); false on
  // failure, with the reason in lastError().
  bool open(const char* path);
  // The address of the exported symbol `name`, or null (reason in lastError()).
  void* symbol(const char* name);
  void close();
  bool isOpen() const { return handle_ != nullptr; }
  const std::string& lastError() const { return lastError_; }

 private:
  void* handle_ = nullptr;
  std::string lastError_;
};

// Keeps the module that holds this code (the shared library it is linked into, or the program)
// loaded for the rest of the process: later unload requests of its users leave it mapped. For
// code handed to threads the module cannot join. True when the module is kept.
bool KeepThisModuleLoaded();

}  // namespace platform
}  // namespace orv
