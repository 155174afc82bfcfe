// A minimal thread manager for tests: every asynchronous procedure gets its own thread, joined
// when the manager is destroyed. Pushed on the thread-manager stack while alive, so parallel jobs
// really run on several threads.
#pragma once

#include <thread>
#include <vector>

#include "orv/ThreadManager.h"
#include "support/threading/ThreadManagerStack.h"

class ThreadPerJobManager : public KUtils::ThreadManager {
 public:
  ThreadPerJobManager() { CVNUtils::PushThreadManager(this); }
  ~ThreadPerJobManager() {
    CVNUtils::PopThreadManager();
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
  int getCurrentThreadIndex() override { return 0; }
  int reserved() override { return 0; }

 private:
  std::vector<std::thread> threads;
};
