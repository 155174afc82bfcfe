// A host's set-up of liborvloader.so with the real IO plug-ins in a plug-in folder of its own,
// found under the suffix "host", and the loader's string functions as a host calls them.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tests/conversion/ScratchDirectory.h"
#include "tests/host/LoaderLibrary.h"

class HostPluginFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(loader.complete()) << loader.error;
    for (const char* stem : {"openvdbio", "field3dio"}) {
      std::filesystem::create_symlink(std::string(ORV_PLUGIN_DIR) + "/" + stem + ".so",
                                      scratch.file(std::string(stem) + "_host.so"));
    }
  }

  // initalizeOrvaLoader over the folder list "/nowhere;<scratch>"; 3 when both plug-ins load.
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
};
