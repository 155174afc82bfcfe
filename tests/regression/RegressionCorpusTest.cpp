// Every input that once crashed, hung, leaked or broke an invariant in a harness is kept under
// tests/data/regression/<target>/ and replayed here through the same harness function.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "fuzz/targets/FuzzTargets.h"

// Test names and messages show a harness by its name.
void PrintTo(const FuzzTarget& target, std::ostream* out) { *out << target.name; }

namespace {

std::vector<uint8_t> readBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

class RegressionCorpus : public ::testing::TestWithParam<FuzzTarget> {};

TEST_P(RegressionCorpus, EveryKeptInputRunsCleanly) {
  const std::filesystem::path dir = std::filesystem::path(ORV_REGRESSION_DIR) / GetParam().name;
  if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no kept inputs for " << GetParam().name;
  int replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    SCOPED_TRACE(entry.path().string());
    const std::vector<uint8_t> bytes = readBytes(entry.path());
    EXPECT_EQ(GetParam().run(bytes.data(), bytes.size()), 0);
    ++replayed;
  }
  EXPECT_GT(replayed, 0);
}

// The harnesses also take the empty input.
TEST_P(RegressionCorpus, EmptyInputRunsCleanly) {
  const uint8_t none = 0;
  EXPECT_EQ(GetParam().run(&none, 0), 0);
}

std::vector<FuzzTarget> allTargets() {
  return std::vector<FuzzTarget>(kFuzzTargets, kFuzzTargets + kFuzzTargetCount);
}

INSTANTIATE_TEST_SUITE_P(Harnesses, RegressionCorpus, ::testing::ValuesIn(allTargets()),
                         [](const ::testing::TestParamInfo<FuzzTarget>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
