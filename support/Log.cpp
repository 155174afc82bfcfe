// Provisional diagnostics: replaced by the platform-backed implementation.
#include "support/Log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {
std::mutex& logLock() {
  static std::mutex lock;
  return lock;
}
void writeDebugOutput(const char* text) {
  const char* sink = std::getenv("ORV_DEBUG_OUTPUT");
  if (sink && std::strcmp(sink, "stderr") == 0) std::fputs(text, stderr);
}
}  // namespace

void LogMessage(const char* format, ...) {
  if (!format) return;
  std::lock_guard<std::mutex> guard(logLock());
  if (format[0] != '#') return;
  char buffer[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  writeDebugOutput(buffer);
}

void DebugPrint(const char* format, ...) {
  char buffer[4096] = {};
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  writeDebugOutput(buffer);
}
