// A host's set-up of liborvloader.so with the real IO plug-ins in a plug-in folder of its own,
// found under the suffix "host", and the loader's string functions as a host calls them.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "tests/conversion/ScratchDirectory.h"
#include "tests/host/LoaderLibrary.h"
#include "support/platform/DynamicLibrary.h"

class HostPluginFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(loader.complete()) << loader.error;
    const std::string extension = orv::platform::kLibraryFileExtension;
    for (const auto& [stem, bit] : {std::pair<const char*, int>{"field3dio", 1}, {"openvdbio", 2}}) {
      const std::string built = std::string(ORV_PLUGIN_DIR) + "/" + stem + extension;
      if (!std::filesystem::exists(built)) continue;  // a build without OpenVDB has no openvdbio
      const std::string link = scratch.file(std::string(stem) + "_host" + extension);
      std::error_code refused;  // symbolic links may need privileges (Windows): a copy then
      std::filesystem::create_symlink(built, link, refused);
      if (refused) std::filesystem::copy_file(built, link);
      builtPlugins |= bit;
    }
  }

  // initalizeOrvaLoader over the folder list "/nowhere;<scratch>"; builtPlugins when they load.
  int initialise(KUtils::ThreadManager* manager = nullptr) {
    const std::string folders = "/nowhere;" + scratch.path().string();
    return manager ? loader.initializeWithManager(folders.c_str(), "host", 0, manager)
                   : loader.initialize(folders.c_str(), "host", 0);
  }

  std::string defaultMappings(const std::string& path) {
    char text[4096];
    EXPECT_EQ(loader.defaultMappings(text, sizeof text, path.c_str()), 1);
    return text;
  }

  // Every grid orvGet3rdPartyChannelName reports for `path`, with its flag.
  std::vector<std::pair<std::string, int>> channelNames(const std::string& path) {
    std::vector<std::pair<std::string, int>> names;
    char name[1024];
    int flag = -1;
    for (int index = 0; loader.channelName(name, sizeof name, &flag, path.c_str(), index) == 1; ++index) {
      names.emplace_back(name, flag);
    }
    return names;
  }

  ScratchDirectory scratch;
  LoaderLibrary loader;
  int builtPlugins = 0;  // the loader's result bits of the plug-ins this build has
};
