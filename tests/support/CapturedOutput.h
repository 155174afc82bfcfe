// Captures of the library's text output for tests: every LogMessage line (LogCapture) and every
// debugger-output text (DebugCapture), collected while the capture is alive. Safe against worker
// threads writing while the test reads.
#pragma once

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "support/Log.h"
#include "support/platform/Platform.h"

template <void (*Install)(void (*)(const char*, void*), void*)>
class OutputCapture {
 public:
  OutputCapture() { Install(&OutputCapture::record, this); }
  ~OutputCapture() { Install(nullptr, nullptr); }
  OutputCapture(const OutputCapture&) = delete;
  OutputCapture& operator=(const OutputCapture&) = delete;

  std::vector<std::string> lines() const {
    std::lock_guard<std::mutex> guard(lock);
    return recorded;
  }
  int count(const std::string& text) const {
    std::lock_guard<std::mutex> guard(lock);
    return static_cast<int>(std::count(recorded.begin(), recorded.end(), text));
  }
  bool contains(const std::string& text) const { return count(text) > 0; }

 private:
  static void record(const char* text, void* context) {
    auto* self = static_cast<OutputCapture*>(context);
    std::lock_guard<std::mutex> guard(self->lock);
    self->recorded.emplace_back(text);
  }
  mutable std::mutex lock;
  std::vector<std::string> recorded;
};

using LogCapture = OutputCapture<&SetLogObserver>;
using DebugCapture = OutputCapture<&orv::platform::SetDebugOutputCapture>;
