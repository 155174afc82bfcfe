// Shared pieces of the loader tests: the test plug-in folder, the call record the test plug-ins
// keep in the environment, captured log lines, and a fixture that returns the loader-wide state
// (plug-ins, thread-manager stack, shared frames) to its initial state after each test.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "loader/FrameOpen.h"
#include "loader/Plugins.h"
#include "support/Log.h"
#include "support/platform/DynamicLibrary.h"
#include "support/platform/Platform.h"
#include "support/threading/ThreadManagerStack.h"
#include "tests/support/CapturedOutput.h"

// Test plug-ins are named <stem>_<variant> plus the system's library extension in this folder.
inline const char* TestPluginFolder() { return ORV_TEST_PLUGIN_DIR; }
inline std::string Module(const std::string& name) {
  return name + orv::platform::kLibraryFileExtension;
}

// "<stem> <call>;" for every call the test plug-ins received since the last ClearPluginCalls.
inline std::string PluginCalls() {
  const char* calls = std::getenv("ORV_TEST_PLUGIN_CALLS");
  return calls ? calls : "";
}
inline void ClearPluginCalls() { orv::platform::SetEnvironmentValue("ORV_TEST_PLUGIN_CALLS", ""); }

class LoaderStateTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearPluginCalls(); }
  void TearDown() override {
    ReleaseAllListedFrames();
    while (CVNUtils::PopThreadManager()) {
    }
    CorvanePlugins::UnloadPlugins();
    ClearPluginCalls();
  }
};
