// POSIX implementation of the platform layer.
#include <dirent.h>
#include <fnmatch.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

#include "support/platform/SystemDebugOutput.h"

#include "support/platform/Platform.h"

namespace orv {
namespace platform {

std::FILE* OpenFile(const char* path, const char* mode) {
  if (!path || !mode || !*path) return nullptr;
  return std::fopen(path, mode);
}

int Seek64(std::FILE* file, long long offset, int whence) {
  if (!file) return -1;
  return fseeko(file, static_cast<off_t>(offset), whence);
}

long long Tell64(std::FILE* file) {
  if (!file) return -1;
  return static_cast<long long>(ftello(file));
}

bool FileModificationTimeNs(const char* path, long long& nanoseconds) {
  struct stat status;
  if (!path || !*path || stat(path, &status) != 0) return false;
  nanoseconds = static_cast<long long>(status.st_mtim.tv_sec) * 1000000000LL +
                static_cast<long long>(status.st_mtim.tv_nsec);
  return true;
}

long long PhysicalMemoryBytes() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<long long>(pages) * pageSize;
}

bool CanAllocate(long long bytes) {
  if (bytes < 0 || static_cast<unsigned long long>(bytes) > SIZE_MAX) return false;
  void* block = std::malloc(static_cast<size_t>(bytes));
  std::free(block);
  return block != nullptr || bytes == 0;
}

void PreferLargePages(void* block, unsigned long long bytes) {
#ifdef MADV_HUGEPAGE
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (!block || pageSize <= 0) return;
  const uintptr_t page = static_cast<uintptr_t>(pageSize);
  const uintptr_t first = (reinterpret_cast<uintptr_t>(block) + page - 1) & ~(page - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(page - 1);
  // Transparent huge pages of the kernel; refused quietly where they are switched off.
  if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
  (void)block;
  (void)bytes;
#endif
}

bool FileAccessible(const char* path, Access access) {
  if (!path || !*path) return false;
  const int mode = access == Access::Read ? R_OK : access == Access::Write ? W_OK : F_OK;
  return ::access(path, mode) == 0;
}

namespace {

// fnmatch also gives '[' and '\' a meaning; escape them so that only '*' and '?' are wildcards.
std::string wildcardOnlyPattern(const char* pattern) {
  std::string escaped;
  for (const char* c = pattern; *c; ++c) {
    if (*c == '[' || *c == ']' || *c == '\\') escaped.push_back('\\');
    escaped.push_back(*c);
  }
  return escaped;
}

}  // namespace

bool ListDirectory(const std::string& directory, const char* namePattern,
                   std::vector<std::string>& names) {
  if (!namePattern) return false;
  DIR* stream = opendir(directory.empty() ? "." : directory.c_str());
  if (!stream) return false;
  const std::string pattern = wildcardOnlyPattern(namePattern);
  std::vector<std::string> found;
  while (const dirent* entry = readdir(stream)) {
    if (fnmatch(pattern.c_str(), entry->d_name, 0) == 0) found.emplace_back(entry->d_name);
  }
  closedir(stream);
  if (found.empty()) return false;
  std::sort(found.begin(), found.end());
  names.swap(found);
  return true;
}

// memfd_create is Linux's; a file in memory that a name in /proc reaches.
std::string CreateAnonymousFile(const char* label) {
  const int descriptor = memfd_create(label ? label : "orv", MFD_CLOEXEC);
  if (descriptor < 0) return "";
  // Through the process id rather than "self", so that a child opening the name reaches this
  // file and not a descriptor of its own. (snprintf, not std::to_string: that would give every
  // module linking this file a unique symbol, and a module with one can never be unloaded.)
  char name[64];
  std::snprintf(name, sizeof name, "/proc/%ld/fd/%d", static_cast<long>(getpid()), descriptor);
  return name;
}

namespace {

std::recursive_mutex& processMutex() {
  // Made on first use (thread-safe static initialisation) and never destroyed.
  static std::recursive_mutex* mutex = new std::recursive_mutex;
  return *mutex;
}

}  // namespace

// There is no system debugger output to write to.
void WriteSystemDebugOutput(const char* /*text*/, bool /*utf16*/) {}

int CurrentProcessId() { return static_cast<int>(getpid()); }

bool SetEnvironmentValue(const char* name, const char* value) {
  if (!name) return false;
  return (value ? setenv(name, value, 1) : unsetenv(name)) == 0;
}

void LockProcessMutex() { processMutex().lock(); }
void UnlockProcessMutex() { processMutex().unlock(); }

bool CurrentLocalDateTime(LocalDateTime& out) {
  const std::time_t now = std::time(nullptr);
  struct tm local;
  if (now == static_cast<std::time_t>(-1) || !localtime_r(&now, &local)) return false;
  out.year = local.tm_year + 1900;
  out.month = local.tm_mon + 1;
  out.day = local.tm_mday;
  out.hour = local.tm_hour;
  out.minute = local.tm_min;
  out.second = local.tm_sec;
  return true;
}

}  // namespace platform
}  // namespace orv
