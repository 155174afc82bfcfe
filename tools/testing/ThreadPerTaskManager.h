// A minimal thread manager for tests and benchmarks: every asynchronous procedure gets a thread of
// its own, and all of them are joined when the manager is destroyed.
#pragma once

#include <thread>
#include <vector>

#include "orv/ThreadManager.h"

class ThreadPerTaskManager : public KUtils::ThreadManager {
 public:
  ~ThreadPerTaskManager() {
    for (std::thread& thread : threads) thread.join();
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
