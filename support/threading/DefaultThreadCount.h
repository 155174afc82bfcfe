// The process-wide default number of worker threads, shared by the thread manager and the
// parallel jobs:
//   1. ZORB_NUM_THREADS when its integer value is greater than 0;
//   2. else, when ZORB_USE_THREAD_AFFINITY is unset or non-zero, the usable processors of all NUMA
//      nodes (when the topology is known);
//   3. else the processors the process may run on.
#pragma once

namespace CVNUtils {

// Computed on the first call and cached for the life of the process.
int DefaultThreadCount();
// Computed afresh from the environment and the topology.
int ComputeDefaultThreadCount();
// True unless ZORB_USE_THREAD_AFFINITY is set to a value whose integer is 0.
bool ThreadAffinityEnabled();

}  // namespace CVNUtils
