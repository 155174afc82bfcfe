// The operating-system services the cache library and the converter use, behind one thin layer so
// that another system's implementation can stand beside the POSIX one.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace orv {
namespace platform {

// Opens a file by its UTF-8 name with a stdio mode ("rb", "a", ...); null when it cannot be opened.
std::FILE* OpenFile(const char* path, const char* mode);

// 64-bit positioning of an open stream. Seek returns 0 on success; Tell returns -1 on failure.
int Seek64(std::FILE* file, long long offset, int whence);
long long Tell64(std::FILE* file);

// Modification time of a file in nanoseconds since the epoch, so that a rewrite within the same
// second is noticed; false when the file cannot be examined.
bool FileModificationTimeNs(const char* path, long long& nanoseconds);

// The machine's physical memory in bytes; 0 when it cannot be determined.
long long PhysicalMemoryBytes();
// Whether `bytes` could be allocated now (the process's address-space and commit limits allow
// it), found by reserving and at once releasing them without touching them.
bool CanAllocate(long long bytes);
// A hint for a new block that is about to be filled: back its whole pages with the system's large
// pages where it can, so that the first write faults once per large page instead of once per
// page. Does nothing where the system has no such hint.
void PreferLargePages(void* block, unsigned long long bytes);

enum class Access { Exists, Read, Write };
bool FileAccessible(const char* path, Access access);

// Names of the entries of `directory` (empty: the current directory) whose names match
// `namePattern`, in which '*' and '?' are wildcards and every other character is literal. The names
// are sorted by their bytes, so results do not depend on the file system; "." and ".." are listed
// when they match. False when the directory cannot be read or nothing matches.
bool ListDirectory(const std::string& directory, const char* namePattern,
                   std::vector<std::string>& names);

// The debugger output. Without a capture hook the text goes to the system's debugger output where
// there is one (its 8-bit form for WriteDebugOutput, its UTF-16 form for WriteDebugOutputUtf16,
// which converts the UTF-8 text), and also where ORV_DEBUG_OUTPUT says: unset or empty, nowhere;
// "stderr", standard error; anything else, a file path the text is appended to. Safe to call from
// several threads.
void WriteDebugOutput(const char* text);
void WriteDebugOutputUtf16(const char* text);

// Redirects the debugger output to `hook` (tests); a null hook restores the normal sink.
using DebugOutputHook = void (*)(const char* text, void* context);
void SetDebugOutputCapture(DebugOutputHook hook, void* context);

// A file held in memory for the life of the process, which writers open (and append to) by the
// returned name; the name means the same file to the process's children. Empty when none can be
// made.
std::string CreateAnonymousFile(const char* label);

// One process-wide mutex, usable from the first call on from any thread and never destroyed. The
// owning thread may lock it again (each lock needs its own unlock).
void LockProcessMutex();
void UnlockProcessMutex();

class ProcessMutexGuard {
 public:
  ProcessMutexGuard() { LockProcessMutex(); }
  ~ProcessMutexGuard() { UnlockProcessMutex(); }
  ProcessMutexGuard(const ProcessMutexGuard&) = delete;
  ProcessMutexGuard& operator=(const ProcessMutexGuard&) = delete;
};

// The id of the running process.
int CurrentProcessId();
// Sets the environment variable `name` of this process to `value`, or removes it when `value` is
// null (Windows also removes it for an empty value). False when it cannot be changed.
bool SetEnvironmentValue(const char* name, const char* value);

struct LocalDateTime {
  int year;
  int month;  // 1..12
  int day;
  int hour;
  int minute;
  int second;
};
// The current local date and time; false when the clock or the time zone cannot be read.
bool CurrentLocalDateTime(LocalDateTime& out);

}  // namespace platform
}  // namespace orv
