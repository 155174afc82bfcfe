#include "support/threading/DefaultThreadCount.h"

#include <cstdlib>

#include "support/platform/Threads.h"
#include "support/threading/NumaPlacement.h"

namespace CVNUtils {

bool ThreadAffinityEnabled(const char* useThreadAffinityValue) {
  return !useThreadAffinityValue || std::atol(useThreadAffinityValue) != 0;
}

bool ThreadAffinityEnabled() { return ThreadAffinityEnabled(std::getenv("ZORB_USE_THREAD_AFFINITY")); }

int NumaProcessorCount() {
  NumaPlacementTable table;
  return table.build() && table.totalProcessors > 0 ? table.totalProcessors : 0;
}

int ThreadCountFrom(const ThreadCountSources& sources) {
  if (sources.numThreads) {
    const int requested = std::atoi(sources.numThreads);
    if (requested > 0) return requested;
  }
  if (ThreadAffinityEnabled(sources.useThreadAffinity)) {
    const int numa = sources.numaProcessors ? sources.numaProcessors() : NumaProcessorCount();
    if (numa > 0) return numa;
  }
  const int system = sources.systemProcessors ? sources.systemProcessors()
                                              : orv::platform::UsableProcessorCount();
  return system > 0 ? system : 1;
}

int ComputeDefaultThreadCount() {
  ThreadCountSources sources;
  sources.numThreads = std::getenv("ZORB_NUM_THREADS");
  sources.useThreadAffinity = std::getenv("ZORB_USE_THREAD_AFFINITY");
  return ThreadCountFrom(sources);
}

int DefaultThreadCount() {
  static const int count = ComputeDefaultThreadCount();
  return count;
}

}  // namespace CVNUtils
