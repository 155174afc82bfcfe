// The part of KUtils::ThreadManager the test managers do not serve: batches are refused, settings
// are ignored and no caller is a worker. Subclasses supply runAsync.
#pragma once

#include "orv/ThreadManager.h"

class InertThreadManager : public KUtils::ThreadManager {
 public:
  virtual ~InertThreadManager() = default;
  void terminateAll(bool) override {}
  int run(int, KUtils::BatchProcedure*, KUtils::ProgressCallback*, bool) override { return -1; }
  void setLowPriority(int) override {}
  int runAsyncDefault(KUtils::ThreadProcedure* procedure, void* data) override {
    return runAsync(procedure, data, 0);
  }
  void setStackSize(int) override {}
  int getCurrentThreadIndex() override { return -1; }
  int reserved() override { return 0; }
};
