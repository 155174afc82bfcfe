// The process-wide default number of worker threads, shared by the thread manager and the
// parallel jobs:
//   1. ZORB_NUM_THREADS when its integer value is greater than 0;
//   2. else, when ZORB_USE_THREAD_AFFINITY is unset or non-zero, the usable processors of all NUMA
//      nodes (when the topology is known);
//   3. else the processors the process may run on.
#pragma once

namespace CVNUtils {

// The inputs of the count: the two environment values (null when unset) and the two processor
// counts, each asked for only when the rule above reaches it.
struct ThreadCountSources {
  const char* numThreads = nullptr;
  const char* useThreadAffinity = nullptr;
  int (*numaProcessors)() = nullptr;    // processors of all NUMA nodes; 0 when unknown
  int (*systemProcessors)() = nullptr;  // processors the process may run on
};

// Computed on the first call and cached for the life of the process.
int DefaultThreadCount();
// Computed afresh from the environment and the topology.
int ComputeDefaultThreadCount();
// Computed from the given sources; a null processor count reads the real one.
int ThreadCountFrom(const ThreadCountSources& sources);
// True unless ZORB_USE_THREAD_AFFINITY is set to a value whose integer is 0.
bool ThreadAffinityEnabled();
bool ThreadAffinityEnabled(const char* useThreadAffinityValue);
// Usable processors of all NUMA nodes, 0 without NUMA topology.
int NumaProcessorCount();

}  // namespace CVNUtils
