// Round-trip cost of an empty run over jobs parked on worker threads.
#include <benchmark/benchmark.h>

#include <thread>
#include <vector>

#include "support/threading/CvnParallel.h"
#include "tools/testing/ThreadPerTaskManager.h"

namespace {

void EmptyRunJobs(benchmark::State& state) {
  ThreadPerTaskManager manager;
  {
    CVNUtils::CvnParallel parallel(&manager);
    parallel.setupThreads(static_cast<int>(state.range(0)));
    for (auto _ : state) parallel.runJobs(0);
  }
}
BENCHMARK(EmptyRunJobs)->Arg(1)->Arg(2)->UseRealTime();

void EmptyRunJobsCallingThread(benchmark::State& state) {
  CVNUtils::CvnParallel parallel;
  parallel.setupThreads(-1);
  for (auto _ : state) parallel.runJobs(0);
}
BENCHMARK(EmptyRunJobsCallingThread);

}  // namespace

BENCHMARK_MAIN();
