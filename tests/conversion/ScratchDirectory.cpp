#include "tests/conversion/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

namespace {

// The running test's name, after a sequence number of the process (a test may make several).
std::string testSuffix() {
  static std::atomic<int> sequence{0};
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::to_string(sequence++) + "-" + (test ? test->name() : "setup");
}

}  // namespace

ScratchDirectory::ScratchDirectory() : ScratchFolder("orv-conversion", testSuffix()) {}
