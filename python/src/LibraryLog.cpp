#include "python/src/LibraryLog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "support/platform/Platform.h"

namespace orvpy {
namespace {

constexpr const char* kDebugOutputVariable = "ORV_DEBUG_OUTPUT";
// The module's own file is emptied when no window is open and it has grown beyond this.
constexpr long long kClearAbove = 1 << 20;

struct LogTarget {
  std::mutex lock;
  std::string path;       // the file the debugger output is appended to; empty: not readable
  bool ownFile = false;   // the module's in-memory file, which it may empty
  std::string elsewhere;  // where the user sent the output, when it cannot be read
  int openWindows = 0;
};

LogTarget& target() {
  static LogTarget* state = new LogTarget;  // used by frames released during interpreter exit
  return *state;
}

long long fileSize(const std::string& path) {
  std::FILE* file = orv::platform::OpenFile(path.c_str(), "rb");
  if (!file) return 0;
  const long long size =
      orv::platform::Seek64(file, 0, SEEK_END) == 0 ? orv::platform::Tell64(file) : 0;
  std::fclose(file);
  return size < 0 ? 0 : size;
}

std::string readFrom(const std::string& path, long long offset) {
  std::string text;
  std::FILE* file = orv::platform::OpenFile(path.c_str(), "rb");
  if (!file) return text;
  if (orv::platform::Seek64(file, offset, SEEK_SET) == 0) {
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  }
  std::fclose(file);
  return text;
}

}  // namespace

void ListenToLibraryLog() {
  LogTarget& state = target();
  std::lock_guard<std::mutex> guard(state.lock);
  const char* chosen = std::getenv(kDebugOutputVariable);
  if (chosen && std::strcmp(chosen, "stderr") == 0) {
    state.elsewhere = "the library's log went to standard error (ORV_DEBUG_OUTPUT=stderr)";
  } else if (chosen && *chosen) {
    state.path = chosen;
  } else {
    const std::string own = orv::platform::CreateAnonymousFile("orv-python-log");
    if (!own.empty() && orv::platform::SetEnvironmentValue(kDebugOutputVariable, own.c_str())) {
      state.path = own;
      state.ownFile = true;
    } else {
      state.elsewhere = "the library's log cannot be captured here";
    }
  }
}

LogWindow::LogWindow() {
  LogTarget& state = target();
  std::lock_guard<std::mutex> guard(state.lock);
  ++state.openWindows;
  start_ = state.path.empty() ? 0 : fileSize(state.path);
}

LogWindow::~LogWindow() {
  LogTarget& state = target();
  std::lock_guard<std::mutex> guard(state.lock);
  --state.openWindows;
  if (state.ownFile && state.openWindows == 0 && fileSize(state.path) > kClearAbove) {
    if (std::FILE* file = orv::platform::OpenFile(state.path.c_str(), "wb")) std::fclose(file);
  }
}

std::vector<std::string> LogWindow::lines() const {
  LogTarget& state = target();
  std::string text;
  {
    std::lock_guard<std::mutex> guard(state.lock);
    if (!state.path.empty()) text = readFrom(state.path, start_);
  }
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    if (text[at] == '#') lines.push_back(text.substr(at + 1, end - at - 1));
    at = end + 1;
  }
  return lines;
}

std::string LogWindow::unreadableReason() { return target().elsewhere; }

}  // namespace orvpy
