// A minimal thread manager for tests and benchmarks: every asynchronous procedure gets a thread of
// its own, and all of them are joined when the manager is destroyed.
#pragma once

#include <thread>
#include <vector>

#include "tools/testing/InertThreadManager.h"

class ThreadPerTaskManager : public InertThreadManager {
 public:
  ~ThreadPerTaskManager() override {
    for (std::thread& thread : threads) thread.join();
  }
  int runAsync(KUtils::ThreadProcedure* procedure, void* data, int) override {
    threads.emplace_back([procedure, data] { procedure->run(data); });
    return 0;
  }

  std::vector<std::thread> threads;
};
