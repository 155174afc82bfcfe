// libFuzzer entry point of one harness; ORV_FUZZ_ENTRY names the harness function.
#include "fuzz/targets/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return ORV_FUZZ_ENTRY(data, size);
}
