#include "support/threading/DefaultThreadCount.h"

#include <cstdlib>

#include "support/platform/Threads.h"
#include "support/threading/NumaPlacement.h"

namespace CVNUtils {

bool ThreadAffinityEnabled() {
  const char* value = std::getenv("ZORB_USE_THREAD_AFFINITY");
  return !value || std::atol(value) != 0;
}

int ComputeDefaultThreadCount() {
  if (const char* value = std::getenv("ZORB_NUM_THREADS")) {
    const int requested = std::atoi(value);
    if (requested > 0) return requested;
  }
  if (ThreadAffinityEnabled()) {
    NumaPlacementTable table;
    if (table.build() && table.totalProcessors > 0) return table.totalProcessors;
  }
  return orv::platform::UsableProcessorCount();
}

int DefaultThreadCount() {
  static const int count = ComputeDefaultThreadCount();
  return count;
}

}  // namespace CVNUtils
