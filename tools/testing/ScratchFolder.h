// A fresh folder of one process under the system's temporary folder, for the tests, benchmarks and
// fuzz targets that write files: named <prefix>-<process id>[-<suffix>], removed with what it
// holds when the object goes.
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>

#include "support/platform/Platform.h"

class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& prefix, std::string suffix = "") {
    // A suffix is one name: a separator in it (a parameterised test's name) would nest folders.
    std::replace(suffix.begin(), suffix.end(), '/', '-');
    std::string name = prefix + "-" + std::to_string(orv::platform::CurrentProcessId());
    if (!suffix.empty()) name += "-" + suffix;
    path_ = std::filesystem::temp_directory_path() / name;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
    std::filesystem::create_directories(path_, ignored);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};
