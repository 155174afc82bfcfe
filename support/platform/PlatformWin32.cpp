// Win32 implementation of the platform layer: the C runtime's wide-character file calls, kernel32
// for memory, listing, the debugger output, the process mutex and the clock.
#include <windows.h>

#include <io.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "support/platform/Platform.h"
#include "support/platform/SystemDebugOutput.h"
#include "support/platform/WideStringWin32.h"

namespace orv {
namespace platform {

std::FILE* OpenFile(const char* path, const char* mode) {
  if (!path || !mode || !*path) return nullptr;
  return _wfopen(WideFromUtf8(path).c_str(), WideFromUtf8(mode).c_str());
}

int Seek64(std::FILE* file, long long offset, int whence) {
  if (!file) return -1;
  return _fseeki64(file, offset, whence);
}

long long Tell64(std::FILE* file) {
  if (!file) return -1;
  return _ftelli64(file);
}

bool FileModificationTimeNs(const char* path, long long& nanoseconds) {
  // The attribute call keeps the time in 100 ns units (the C runtime's stat only in seconds), so
  // that a rewrite within the same second is noticed as on other systems.
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  if (!path || !*path ||
      !GetFileAttributesExW(WideFromUtf8(path).c_str(), GetFileExInfoStandard, &attributes)) {
    return false;
  }
  const long long ticks =
      static_cast<long long>((static_cast<unsigned long long>(attributes.ftLastWriteTime.dwHighDateTime) << 32) |
                             attributes.ftLastWriteTime.dwLowDateTime);
  constexpr long long kTicksFrom1601To1970 = 116444736000000000LL;
  nanoseconds = (ticks - kTicksFrom1601To1970) * 100;
  return true;
}

long long PhysicalMemoryBytes() {
  MEMORYSTATUSEX status;
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return 0;
  return status.ullTotalPhys > static_cast<unsigned long long>(INT64_MAX)
             ? INT64_MAX
             : static_cast<long long>(status.ullTotalPhys);
}

bool CanAllocate(long long bytes) {
  if (bytes < 0 || static_cast<unsigned long long>(bytes) > SIZE_MAX) return false;
  if (bytes == 0) return true;
  // Committing charges the system's commit limit without touching a page.
  void* block = VirtualAlloc(nullptr, static_cast<SIZE_T>(bytes), MEM_RESERVE | MEM_COMMIT,
                             PAGE_READWRITE);
  if (!block) return false;
  VirtualFree(block, 0, MEM_RELEASE);
  return true;
}

// Large pages on Windows need a privilege that processes rarely hold: no hint.
void PreferLargePages(void* /*block*/, unsigned long long /*bytes*/) {}

bool FileAccessible(const char* path, Access access) {
  if (!path || !*path) return false;
  const int mode = access == Access::Read ? 4 : access == Access::Write ? 2 : 0;
  return _waccess(WideFromUtf8(path).c_str(), mode) == 0;
}

bool ListDirectory(const std::string& directory, const char* namePattern,
                   std::vector<std::string>& names) {
  if (!namePattern) return false;
  std::string search = directory;
  if (!search.empty() && search.back() != '/' && search.back() != '\\') search += '\\';
  search += namePattern;
  // The system matches the pattern, '*' and '?' as wildcards and ignoring case as Windows names do.
  WIN32_FIND_DATAW entry;
  HANDLE listing = FindFirstFileW(WideFromUtf8(search.c_str()).c_str(), &entry);
  if (listing == INVALID_HANDLE_VALUE) return false;
  std::vector<std::string> found;
  do {
    found.push_back(Utf8FromWide(entry.cFileName));
  } while (FindNextFileW(listing, &entry));
  FindClose(listing);
  if (found.empty()) return false;
  std::sort(found.begin(), found.end());
  names.swap(found);
  return true;
}

void WriteSystemDebugOutput(const char* text, bool utf16) {
  if (utf16) {
    OutputDebugStringW(WideFromUtf8(text).c_str());
  } else {
    OutputDebugStringA(text);
  }
}

int CurrentProcessId() { return static_cast<int>(GetCurrentProcessId()); }

// No file that lives in memory and has a name others can open: the caller keeps its default.
std::string CreateAnonymousFile(const char*) { return ""; }

bool SetEnvironmentValue(const char* name, const char* value) {
  // The C runtime keeps getenv's copy and the process environment alike; "" removes the variable.
  return name && _putenv_s(name, value ? value : "") == 0;
}

namespace {

CRITICAL_SECTION& processMutex() {
  // Made on first use (thread-safe static initialisation) and never destroyed.
  static CRITICAL_SECTION* section = [] {
    auto* created = new CRITICAL_SECTION;
    InitializeCriticalSection(created);
    return created;
  }();
  return *section;
}

}  // namespace

void LockProcessMutex() { EnterCriticalSection(&processMutex()); }
void UnlockProcessMutex() { LeaveCriticalSection(&processMutex()); }

bool CurrentLocalDateTime(LocalDateTime& out) {
  SYSTEMTIME local;
  GetLocalTime(&local);
  out.year = local.wYear;
  out.month = local.wMonth;
  out.day = local.wDay;
  out.hour = local.wHour;
  out.minute = local.wMinute;
  out.second = local.wSecond;
  return true;
}

}  // namespace platform
}  // namespace orv
