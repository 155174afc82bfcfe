// Helpers of the thread-pool tests: a capture of the debugger output, a recording progress
// callback and bounded waits.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "orv/ThreadManager.h"
#include "support/platform/Platform.h"
#include "tests/support/CapturedOutput.h"

// Polls `done` every millisecond for up to `seconds`; true when it became true.
template <typename Predicate>
bool WaitUntil(Predicate done, double seconds = 10.0) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// A progress callback that records what the manager calls and answers checkAbort with `abortWith`.
class RecordingProgress : public KUtils::ProgressCallback {
 public:
  explicit RecordingProgress(bool pumping = false) : pumping(pumping) {}

  void setProgress(int done) override {
    lastProgress.store(done);
    progressCalls.fetch_add(1);
  }
  int checkAbort() override {
    abortChecks.fetch_add(1);
    return abortWith.load();
  }
  bool needsPumping() override { return pumping; }
  void pump() override { pumps.fetch_add(1); }
  void log(int level, int code, const char* format, ...) override {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::lock_guard<std::mutex> guard(lock);
    logs.push_back(std::to_string(level) + "/" + std::to_string(code) + ":" + text);
  }
  void beginTask() override { begins.fetch_add(1); }
  void endTask() override { ends.fetch_add(1); }

  std::vector<std::string> logLines() {
    std::lock_guard<std::mutex> guard(lock);
    return logs;
  }

  const bool pumping;
  std::atomic<int> abortWith{0};
  std::atomic<int> lastProgress{-1};
  std::atomic<int> progressCalls{0};
  std::atomic<int> abortChecks{0};
  std::atomic<int> pumps{0};
  std::atomic<int> begins{0};
  std::atomic<int> ends{0};

 private:
  std::mutex lock;
  std::vector<std::string> logs;
};
