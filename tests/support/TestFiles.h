// Files of the tests: temporary names of one test process and whole-file reads.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "support/platform/Platform.h"

// CTest runs test cases as parallel processes, so every temporary name carries the process id and
// no two processes write the same file.
inline std::string ProcessTempPath(const std::string& name) {
  return ::testing::TempDir() + "orv-" + std::to_string(orv::platform::CurrentProcessId()) + "-" + name;
}

// The whole content of a file; empty when it cannot be read.
inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}
