// The test thread manager, pushed on the thread-manager stack while alive, so parallel jobs
// created meanwhile really run on several threads.
#pragma once

#include "support/threading/ThreadManagerStack.h"
#include "tools/testing/ThreadPerTaskManager.h"

class ThreadPerJobManager : public ThreadPerTaskManager {
 public:
  ThreadPerJobManager() { CVNUtils::PushThreadManager(this); }
  ~ThreadPerJobManager() { CVNUtils::PopThreadManager(); }
};
