// POSIX implementation of DynamicLibrary.
#include <dlfcn.h>

#include "support/platform/DynamicLibrary.h"

namespace orv {
namespace platform {

const char* const kLibraryFileExtension = ".so";

namespace {

std::string currentDlError(const char* fallback) {
  const char* text = dlerror();
  return text ? text : fallback;
}

}  // namespace

bool DynamicLibrary::open(const char* path) {
  close();
  if (!path || !*path) {
    lastError_ = "empty library name";
    return false;
  }
  handle_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    lastError_ = currentDlError("cannot load library");
    return false;
  }
  lastError_.clear();
  return true;
}

void* DynamicLibrary::symbol(const char* name) {
  if (!handle_ || !name) {
    lastError_ = "no library loaded";
    return nullptr;
  }
  dlerror();
  void* address = dlsym(handle_, name);
  if (!address) lastError_ = currentDlError("symbol not found");
  return address;
}

bool KeepThisModuleLoaded() {
  Dl_info info;
  if (!dladdr(reinterpret_cast<void*>(&KeepThisModuleLoaded), &info) || !info.dli_fname) {
    return false;
  }
  // Opening the already loaded module again with RTLD_NODELETE marks it as never unloaded; the
  // reference taken here is never given back either.
  return dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE) != nullptr;
}

void DynamicLibrary::close() {
  if (handle_) dlclose(handle_);
  handle_ = nullptr;
}

}  // namespace platform
}  // namespace orv
