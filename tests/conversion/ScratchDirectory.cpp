#include "tests/conversion/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <system_error>

#include "support/platform/Platform.h"

ScratchDirectory::ScratchDirectory() {
  static std::atomic<int> sequence{0};
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = "orv-conversion-" + std::to_string(orv::platform::CurrentProcessId()) + "-" +
                     std::to_string(sequence++) + "-" + (test ? test->name() : "setup");
  // A parameterised test's name holds a '/', which would make the folder a nested one.
  std::replace(name.begin(), name.end(), '/', '-');
  path_ = std::filesystem::temp_directory_path() / name;
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}
