// A host-style thread manager for tests and benchmarks: a fixed number of worker threads serving
// one first-in first-out queue, as a host application's own pool would. runAsync never starts a
// thread; a task waits in the queue until a worker is free. With 0 workers no task runs until the
// pool is destroyed, which runs whatever is still queued on the destroying thread and joins the
// workers.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "tools/testing/InertThreadManager.h"

class FixedThreadPool final : public InertThreadManager {
 public:
  explicit FixedThreadPool(int workerCount) {
    for (int i = 0; i < workerCount; ++i) workers.emplace_back([this] { serve(); });
  }
  ~FixedThreadPool() override {
    {
      std::lock_guard<std::mutex> guard(lock);
      stopping = true;
    }
    wake.notify_all();
    for (std::thread& worker : workers) worker.join();
    for (const Task& task : queue) task.first->run(task.second);
  }

  int runAsync(KUtils::ThreadProcedure* procedure, void* data, int) override {
    {
      std::lock_guard<std::mutex> guard(lock);
      queue.emplace_back(procedure, data);
      ++accepted;
    }
    wake.notify_one();
    return 0;
  }

  // Tasks handed over so far.
  int acceptedTasks() {
    std::lock_guard<std::mutex> guard(lock);
    return accepted;
  }

 private:
  using Task = std::pair<KUtils::ThreadProcedure*, void*>;

  void serve() {
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
      wake.wait(guard, [this] { return stopping || !queue.empty(); });
      if (queue.empty()) return;
      const Task task = queue.front();
      queue.pop_front();
      guard.unlock();
      task.first->run(task.second);
      guard.lock();
    }
  }

  std::mutex lock;
  std::condition_variable wake;
  std::deque<Task> queue;
  bool stopping = false;
  int accepted = 0;
  std::vector<std::thread> workers;
};
