// Round-trip cost of an empty run over jobs parked on worker threads.
#include <benchmark/benchmark.h>

#include <thread>
#include <vector>

#include "support/threading/CvnParallel.h"

namespace {

// One thread per asynchronous procedure, joined on destruction.
class ThreadPerTaskManager : public KUtils::ThreadManager {
 public:
  ~ThreadPerTaskManager() {
    for (std::thread& t : threads) t.join();
  }
  void terminateAll(bool) override {}
  int run(int, KUtils::BatchProcedure*, KUtils::ProgressCallback*, bool) override { return 0; }
  void setLowPriority(int) override {}
  int runAsync(KUtils::ThreadProcedure* procedure, void* data, int) override {
    threads.emplace_back([procedure, data] { procedure->run(data); });
    return 0;
  }
  int runAsyncDefault(KUtils::ThreadProcedure* procedure, void* data) override {
    return runAsync(procedure, data, 0);
  }
  void setStackSize(int) override {}
  int getCurrentThreadIndex() override { return -1; }
  int reserved() override { return 0; }
  std::vector<std::thread> threads;
};

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
