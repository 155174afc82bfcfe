// The debugger output sink shared by every platform: a capture hook for tests, the system's own
// debugger output, and the ORV_DEBUG_OUTPUT copy.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "support/platform/Platform.h"
#include "support/platform/SystemDebugOutput.h"

namespace orv {
namespace platform {

namespace {

struct DebugSink {
  std::mutex lock;
  DebugOutputHook hook = nullptr;
  void* context = nullptr;
};

DebugSink& debugSink() {
  static DebugSink* sink = new DebugSink;  // outlives every static destructor
  return *sink;
}

void writeDebugOutput(const char* text, bool utf16) {
  if (!text) return;
  DebugSink& sink = debugSink();
  std::lock_guard<std::mutex> guard(sink.lock);
  if (sink.hook) {
    sink.hook(text, sink.context);
    return;
  }
  WriteSystemDebugOutput(text, utf16);
  const char* target = std::getenv("ORV_DEBUG_OUTPUT");
  if (!target || !*target) return;
  if (std::strcmp(target, "stderr") == 0) {
    std::fputs(text, stderr);
    std::fflush(stderr);
    return;
  }
  if (std::FILE* file = OpenFile(target, "a")) {
    std::fputs(text, file);
    std::fclose(file);
  }
}

}  // namespace

void WriteDebugOutput(const char* text) { writeDebugOutput(text, false); }
void WriteDebugOutputUtf16(const char* text) { writeDebugOutput(text, true); }

void SetDebugOutputCapture(DebugOutputHook hook, void* context) {
  DebugSink& sink = debugSink();
  std::lock_guard<std::mutex> guard(sink.lock);
  sink.hook = hook;
  sink.context = hook ? context : nullptr;
}


}  // namespace platform
}  // namespace orv
