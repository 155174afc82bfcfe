#include "tests/host/LoaderLibrary.h"


// Each test loads and unloads the library, and with it the process-lifetime objects of the cache
// library it carries (file registry, log outputs, default-manager list), which the sanitizer then
// reports as leaked. Leaks of the loader code itself are checked by test_loader, which links it.
extern "C" const char* __lsan_default_options() { return "detect_leaks=0"; }

template <typename Function>
void LoaderLibrary::resolve(Function& function, const char* mangledName) {
  function = reinterpret_cast<Function>(library_.isOpen() ? library_.symbol(mangledName) : nullptr);
  if (!function) {
    complete_ = false;
    error += std::string("missing ") + mangledName + "; ";
  }
}

LoaderLibrary::LoaderLibrary(const char* path) {
  if (!library_.open(path)) {
    error = library_.lastError();
    return;
  }
  complete_ = true;
  resolve(version, "_Z26CorvaneSDKGetVersionNumberv");
  resolve(initialize, "_Z19initalizeOrvaLoaderPKcS0_i");
  resolve(initializeWithManager, "_Z19initalizeOrvaLoaderPKcS0_iPN6KUtils13ThreadManagerE");
  resolve(finalize, "_Z18finalizeOrvaLoaderv");
  resolve(open, "_Z7newIOrvPKc");
  resolve(openMaxVox, "_Z13newIOrvMaxVoxPKcxb");
  resolve(openWithMappings, "_Z26newIOrvWithChannelsMappingPKcS0_");
  resolve(openWithMappingsMaxVox, "_Z32newIOrvWithChannelsMappingMaxVoxPKcS0_xb");
  resolve(release, "_Z10deleteIOrvP4IOrv");
  resolve(createManager, "_Z26createDefaultThreadManagerv");
  resolve(destroyManager, "_Z27destroyDefaultThreadManagerPN6KUtils13ThreadManagerE");
  resolve(compose, "_Z31orvComposeChannelMappingsStringPciPiPPKci");
  resolve(decompose, "_Z33orvDecomposeChannelMappingsStringPiPciPKci");
  resolve(defaultMappings, "_Z33orvGenerateDefaultChannelMappingsPciPKc");
  resolve(channelName, "_Z25orvGet3rdPartyChannelNamePciPiPKci");
}

LoaderLibrary::~LoaderLibrary() { library_.close(); }
