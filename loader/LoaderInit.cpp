#include "loader/LoaderInit.h"

#include "loader/FrameOpen.h"
#include "loader/Plugins.h"
#include "orv/OrvLoader.h"
#include "support/ExceptionGuard.h"
#include "support/threading/ThreadManagerStack.h"

namespace {

constexpr unsigned int kVersionNumber = 0x31200;
int recordedValue = 0;
// The manager last handed to the plug-ins, until they are told to release it.
KUtils::ThreadManager* pluginManager = nullptr;

// A default manager destroyed while the plug-ins still hold it: they let go of it at once, so their
// imports run on the calling thread instead of on a destroyed pool.
void releasePluginsHolding(KUtils::ThreadManager* retired) {
  if (!retired || retired != pluginManager) return;
  pluginManager = nullptr;
  CorvanePlugins::ReleasePluginThreadManagers();
}

int loadPlugins(const char* folders, const char* suffix, int value) {
  // The teardown object must exist before the plug-ins do, so that it unloads them at the end.
  EnsureLoaderTeardown();
  recordedValue = value;
  int mask = 0;
  if (CorvanePlugins::LoadPlugin(CorvanePlugins::Plugin::Field3D, folders, suffix)) mask |= 1;
  if (CorvanePlugins::LoadPlugin(CorvanePlugins::Plugin::OpenVDB, folders, suffix)) mask |= 2;
  return mask;
}

}  // namespace

int RecordedInitialisationValue() { return recordedValue; }

unsigned int CorvaneSDKGetVersionNumber() { return kVersionNumber; }

int initalizeOrvaLoader(const char* folders, const char* suffix, int value) {
  return orv::GuardedCall("initalizeOrvaLoader", 0,
                          [&] { return loadPlugins(folders, suffix, value); });
}

int initalizeOrvaLoader(const char* folders, const char* suffix, int value,
                        KUtils::ThreadManager* manager) {
  return orv::GuardedCall("initalizeOrvaLoader", 0, [&] {
    const int mask = loadPlugins(folders, suffix, value);
    if (mask == 0 || !manager) return mask;
    if (!CVNUtils::PushThreadManager(manager)) return 0;
    bool allAccepted = true;
    const int handed = CorvanePlugins::HandThreadManagerToPlugins(manager, allAccepted);
    pluginManager = manager;
    CVNUtils::SetThreadManagerRetirementObserver(releasePluginsHolding);
    return handed > 0 && allAccepted ? mask : 0;
  });
}

void finalizeOrvaLoader() {
  orv::GuardedCall("finalizeOrvaLoader", [] {
    CVNUtils::PopThreadManager();
    pluginManager = nullptr;
    CorvanePlugins::ReleasePluginThreadManagers();
  });
}
