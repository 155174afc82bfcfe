// Files of the tests: temporary names of one test process and whole-file reads.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>

#include "support/platform/Platform.h"

namespace testfiles {

// The temporary names handed out in this process; whatever file bears one is removed at exit.
struct RemovedAtExit {
  std::mutex lock;
  std::set<std::string> paths;
  ~RemovedAtExit() {
    for (const std::string& path : paths) std::remove(path.c_str());
  }
};

inline RemovedAtExit& removedAtExit() {
  static RemovedAtExit files;
  return files;
}

}  // namespace testfiles

// CTest runs test cases as parallel processes, so every temporary name carries the process id and
// no two processes write the same file. The file is removed when the process ends.
inline std::string ProcessTempPath(const std::string& name) {
  std::string path =
      ::testing::TempDir() + "orv-" + std::to_string(orv::platform::CurrentProcessId()) + "-" + name;
  testfiles::RemovedAtExit& files = testfiles::removedAtExit();
  std::lock_guard<std::mutex> guard(files.lock);
  files.paths.insert(path);
  return path;
}

// The whole content of a file; empty when it cannot be read.
inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}
