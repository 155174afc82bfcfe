// The message queue of one pool worker: a linked list with a free list of nodes, guarded by its
// own lock, and an auto-reset event that wakes the worker.
#pragma once

#include <mutex>

#include "support/platform/Threads.h"

namespace KUtils {

enum WorkerMessage { kMessageBatch = 4096, kMessageQuit = 4097, kMessageAsync = 4098 };

class WorkerQueue {
 public:
  WorkerQueue() = default;
  WorkerQueue(const WorkerQueue&) = delete;
  WorkerQueue& operator=(const WorkerQueue&) = delete;
  ~WorkerQueue();

  // False when no node can be allocated.
  bool post(int message);
  // The oldest message; blocks while the queue is empty.
  int take();

 private:
  struct Node {
    int message;
    Node* next;
  };
  std::mutex lock;
  Node* head = nullptr;
  Node* tail = nullptr;
  Node* freeNodes = nullptr;
  orv::platform::Event available{false};
};

}  // namespace KUtils
