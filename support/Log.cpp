// Diagnostics: LogMessage, DebugPrint and bounded formatting.
#include "support/Log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/platform/Platform.h"

namespace {

// The optional log outputs; read and written under the process mutex only.
struct LogOutputs {
  std::string filePath;
  bool dateTimePrefix = false;
  bool echo = false;
  bool toStandardError = false;
  LogObserver observer = nullptr;
  void* observerContext = nullptr;
};

// ORV_LOG, read once: "stderr" sends every line to standard error, any other text names a file
// every line is appended to.
LogOutputs* outputsFromEnvironment() {
  auto* outputs = new LogOutputs;
  const char* target = std::getenv(kLogVariable);
  if (target && std::strcmp(target, "stderr") == 0) {
    outputs->toStandardError = true;
  } else if (target && *target) {
    outputs->filePath = target;
  }
  return outputs;
}

LogOutputs& logOutputs() {
  static LogOutputs* outputs = outputsFromEnvironment();  // usable during static destruction too
  return *outputs;
}

const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string dateTimePrefix() {
  orv::platform::LocalDateTime now;
  if (!orv::platform::CurrentLocalDateTime(now) || now.month < 1 || now.month > 12) return "";
  char date[48];
  char time[32];
  FormatBounded(date, sizeof date, "%i/%s/%i", now.year, kMonths[now.month - 1], now.day);
  FormatBounded(time, sizeof time, "%02i:%02i:%02i", now.hour, now.minute, now.second);
  char prefix[96];
  FormatBounded(prefix, sizeof prefix, "[%s|%s] ", date, time);
  return prefix;
}

// Writes a formatted line to the log file and the console, as configured. Caller holds the lock.
void writeOptionalOutputs(const char* message) {
  const LogOutputs& outputs = logOutputs();
  if (outputs.filePath.empty() && !outputs.echo && !outputs.toStandardError) return;
  if (message[0] == '#') ++message;
  const std::string prefix = outputs.dateTimePrefix ? dateTimePrefix() : std::string();
  if (!outputs.filePath.empty()) {
    if (std::FILE* file = orv::platform::OpenFile(outputs.filePath.c_str(), "a")) {
      std::fputs(prefix.c_str(), file);
      std::fputs(message, file);
      std::fclose(file);
    }
  }
  for (std::FILE* console : {outputs.echo ? stdout : nullptr,
                              outputs.toStandardError ? stderr : nullptr}) {
    if (!console) continue;
    std::fputs(prefix.c_str(), console);
    std::fputs(message, console);
    std::fflush(console);
  }
}

}  // namespace

int FormatBoundedV(char* buffer, int size, const char* format, va_list args) {
  if (!buffer || size <= 0) return 0;
  if (!format) {
    buffer[0] = '\0';
    return 0;
  }
  const int length = std::vsnprintf(buffer, static_cast<size_t>(size), format, args);
  if (length < 0) {
    buffer[0] = '\0';
    return -1;
  }
  return length < size ? length : -1;
}

int FormatBounded(char* buffer, int size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int length = FormatBoundedV(buffer, size, format, args);
  va_end(args);
  return length;
}

void LogMessage(const char* format, ...) {
  if (!format) return;
  orv::platform::ProcessMutexGuard guard;
  const bool toDebugger = format[0] == '#';
  const LogOutputs& outputs = logOutputs();
  if (!toDebugger && outputs.filePath.empty() && !outputs.echo && !outputs.toStandardError &&
      !outputs.observer) {
    return;
  }
  char message[1024];  // longer messages are cut to fit
  va_list args;
  va_start(args, format);
  FormatBoundedV(message, sizeof message, format, args);
  va_end(args);
  if (outputs.observer) outputs.observer(message, outputs.observerContext);
  if (toDebugger) orv::platform::WriteDebugOutput(message);
  writeOptionalOutputs(message);
}

void DebugPrint(const char* format, ...) {
  if (!format) return;
  char message[4096] = {};
  va_list args;
  va_start(args, format);
  FormatBoundedV(message, sizeof message, format, args);
  va_end(args);
  message[sizeof message - 1] = '\0';
  // The debugger output's UTF-16 form, converted from the UTF-8 text.
  orv::platform::WriteDebugOutputUtf16(message);
}

void SetLogFilePath(const char* path) {
  orv::platform::ProcessMutexGuard guard;
  logOutputs().filePath = path ? path : "";
}

void SetLogDateTimePrefix(bool enabled) {
  orv::platform::ProcessMutexGuard guard;
  logOutputs().dateTimePrefix = enabled;
}

void SetLogEcho(bool enabled) {
  orv::platform::ProcessMutexGuard guard;
  logOutputs().echo = enabled;
}

void SetLogObserver(LogObserver observer, void* context) {
  orv::platform::ProcessMutexGuard guard;
  logOutputs().observer = observer;
  logOutputs().observerContext = observer ? context : nullptr;
}
