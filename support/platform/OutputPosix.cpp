// POSIX implementation of the output services.
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "support/platform/Output.h"

namespace orv {
namespace platform {

bool ReplaceFile(const char* from, const char* to, std::string* reason) {
  if (from && to && std::rename(from, to) == 0) return true;
  if (reason) *reason = LastSystemError();
  return false;
}

bool RemoveFile(const char* path) { return path && ::unlink(path) == 0; }

bool FileSizeBytes(const char* path, long long& bytes) {
  struct stat status;
  if (!path || ::stat(path, &status) != 0) return false;
  bytes = static_cast<long long>(status.st_size);
  return true;
}

bool CreateDirectories(const std::string& path, std::string* reason) {
  // Each prefix ending before a '/' in turn, then the whole path; one that exists is fine.
  for (size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    const std::string prefix = path.substr(0, end);
    if (!prefix.empty() && ::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
      if (reason) *reason = LastSystemError();
      return false;
    }
    if (end == std::string::npos) break;
  }
  if (IsDirectory(path.c_str())) return true;
  if (reason) *reason = "not a directory";
  return false;
}

bool IsDirectory(const char* path) {
  struct stat status;
  return path && ::stat(path, &status) == 0 && S_ISDIR(status.st_mode);
}

int CurrentProcessId() { return static_cast<int>(::getpid()); }

void IgnoreFileSizeLimitSignal() { ::signal(SIGXFSZ, SIG_IGN); }

bool IsTerminal(std::FILE* stream) { return stream && ::isatty(::fileno(stream)) == 1; }

int TerminalColumns(std::FILE* stream) {
  struct winsize size;
  if (stream && ::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
    return size.ws_col;
  }
  return 80;
}

std::string LastSystemError() {
  const int code = errno;
  char buffer[256];
  // The GNU strerror_r returns the text, which may or may not be in buffer.
  const char* text = ::strerror_r(code, buffer, sizeof buffer);
  return text ? text : "unknown error";
}

}  // namespace platform
}  // namespace orv
