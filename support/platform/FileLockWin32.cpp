// Win32 implementation of the whole-file locks: LockFileEx over every byte the file can have.
#include <windows.h>

#include <io.h>

#include <atomic>
#include <cerrno>

#include "support/platform/FileLock.h"

namespace orv {
namespace platform {

namespace {

std::atomic<int> injectedError{0};

HANDLE systemHandle(std::FILE* file) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
}

// The range from byte 0 to the largest offset, so that the lock covers the file however it grows.
constexpr DWORD kWholeRange = 0xFFFFFFFF;

}  // namespace

FileLockResult TryLockWholeFile(std::FILE* file, bool exclusive) {
  if (!file) return FileLockResult::Busy;
  if (const int injected = injectedError.load()) {
    return injected == EAGAIN || injected == EACCES || injected == EINTR
               ? FileLockResult::Busy
               : FileLockResult::Unsupported;
  }
  const HANDLE handle = systemHandle(file);
  if (handle == INVALID_HANDLE_VALUE) return FileLockResult::Unsupported;
  OVERLAPPED from = {};
  const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
  if (LockFileEx(handle, flags, 0, kWholeRange, kWholeRange, &from)) return FileLockResult::Locked;
  switch (GetLastError()) {
    case ERROR_LOCK_VIOLATION:
    case ERROR_SHARING_VIOLATION:
    case ERROR_IO_PENDING:
      return FileLockResult::Busy;
    default:  // ERROR_NOT_SUPPORTED, ERROR_INVALID_FUNCTION: this file cannot be locked at all
      return FileLockResult::Unsupported;
  }
}

void UnlockWholeFile(std::FILE* file) {
  if (!file) return;
  OVERLAPPED from = {};
  UnlockFileEx(systemHandle(file), 0, kWholeRange, kWholeRange, &from);
}

void InjectFileLockError(int error) { injectedError.store(error); }

}  // namespace platform
}  // namespace orv
