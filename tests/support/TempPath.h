// Temporary file names of one test process. CTest runs test cases as parallel processes, so every
// name carries the process id and no two processes write the same file.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

inline std::string ProcessTempPath(const std::string& name) {
  return ::testing::TempDir() + "orv-" + std::to_string(::getpid()) + "-" + name;
}
