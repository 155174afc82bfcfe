// The loader library as a separately built host sees it: loaded at run time, every export resolved
// by its mangled name, unloaded (running the loader's teardown) when this object ends.
#pragma once

#include <string>

#include "orv/IOrv.h"
#include "orv/ThreadManager.h"
#include "support/platform/DynamicLibrary.h"

class LoaderLibrary {
 public:
  explicit LoaderLibrary(const char* path = ORV_LOADER_LIBRARY);
  ~LoaderLibrary();
  LoaderLibrary(const LoaderLibrary&) = delete;
  LoaderLibrary& operator=(const LoaderLibrary&) = delete;

  // True when the library loaded and every export resolved; otherwise `error` says what failed.
  bool complete() const { return complete_; }
  std::string error;

  unsigned int (*version)() = nullptr;
  int (*initialize)(const char*, const char*, int) = nullptr;
  int (*initializeWithManager)(const char*, const char*, int, KUtils::ThreadManager*) = nullptr;
  void (*finalize)() = nullptr;
  IOrv* (*open)(const char*) = nullptr;
  IOrv* (*openMaxVox)(const char*, long long, bool) = nullptr;
  IOrv* (*openWithMappings)(const char*, const char*) = nullptr;
  IOrv* (*openWithMappingsMaxVox)(const char*, const char*, long long, bool) = nullptr;
  void (*release)(IOrv*) = nullptr;
  KUtils::ThreadManager* (*createManager)() = nullptr;
  void (*destroyManager)(KUtils::ThreadManager*) = nullptr;
  int (*compose)(char*, int, int*, const char**, int) = nullptr;
  int (*decompose)(int*, char*, int, const char*, int) = nullptr;
  int (*defaultMappings)(char*, int, const char*) = nullptr;
  int (*channelName)(char*, int, int*, const char*, int) = nullptr;

 private:
  template <typename Function>
  void resolve(Function& function, const char* mangledName);

  orv::platform::DynamicLibrary library_;
  bool complete_ = false;
};
