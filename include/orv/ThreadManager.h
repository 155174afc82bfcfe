// The thread-pool interface shared by the library, hosts and plug-ins. The operations and their
// order are part of the binary interface: hosts and plug-ins call through them.
#pragma once

#include "orv/Api.h"

namespace KUtils {

// Host-supplied observer of a batch run. Only the operations up to endTask are called.
class ORV_API ProgressCallback {
 public:
  virtual void setProgress(int done) = 0;
  virtual int checkAbort() = 0;
  virtual bool needsPumping() = 0;
  virtual void pump() = 0;
  virtual void log(int level, int code, const char* format, ...) = 0;
  virtual void beginTask() = 0;
  virtual void endTask() = 0;
};

// Work that ThreadManager::run executes on several threads at once.
class ORV_API BatchProcedure {
 public:
  virtual ~BatchProcedure() = default;
  virtual const char* name() { return nullptr; }
  virtual void run(int* abortFlag, int* progressCounter, int threadIndex, int threadCount) = 0;

  int progressCount = 0;
  int abortValue = 0;
};

// The unit of asynchronous work for ThreadManager::runAsync.
class ORV_API ThreadProcedure {
 public:
  virtual ~ThreadProcedure() = default;
  virtual void run(void* data) = 0;
  virtual const char* name() { return nullptr; }
};

class ORV_API ThreadManager {
 public:
  virtual void terminateAll(bool force) = 0;
  virtual int run(int count, BatchProcedure* procedure, ProgressCallback* progress,
                  bool reportProgress) = 0;
  virtual void setLowPriority(int flag) = 0;
  virtual int runAsync(ThreadProcedure* procedure, void* data, int threadIndex) = 0;
  virtual int runAsyncDefault(ThreadProcedure* procedure, void* data) = 0;
  virtual void setStackSize(int bytes) = 0;
  virtual int getCurrentThreadIndex() = 0;
  virtual int reserved() = 0;

 protected:
  // Destroyed through the concrete type only.
  ~ThreadManager() = default;
};

// Exception carrying a message of up to 1023 characters.
class ORV_API ExceptionMsg {
 public:
  explicit ExceptionMsg(const char* format, ...) __attribute__((format(printf, 2, 3)));
  virtual ~ExceptionMsg() = default;
  virtual const char* message() const { return text; }

 private:
  char text[1024];
};

}  // namespace KUtils
