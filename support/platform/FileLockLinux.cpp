#include "support/platform/FileLock.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace orv {
namespace platform {

namespace {

std::atomic<int> injectedError{0};

// 0 when the lock was set, otherwise the error number.
int setLock(std::FILE* file, short type) {
  if (const int injected = injectedError.load()) return injected;
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;  // to the end of the file, however it grows
  return fcntl(fileno(file), F_OFD_SETLK, &lock) == 0 ? 0 : errno;
}

}  // namespace

FileLockResult TryLockWholeFile(std::FILE* file, bool exclusive) {
  if (!file) return FileLockResult::Busy;
  switch (setLock(file, exclusive ? F_WRLCK : F_RDLCK)) {
    case 0:
      return FileLockResult::Locked;
    case EAGAIN:
    case EACCES:
    case EINTR:
      return FileLockResult::Busy;
    default:  // ENOLCK, EOPNOTSUPP, ENOSYS, EINVAL: this file cannot be locked at all
      return FileLockResult::Unsupported;
  }
}

void UnlockWholeFile(std::FILE* file) {
  if (file) setLock(file, F_UNLCK);
}

void InjectFileLockError(int error) { injectedError.store(error); }

}  // namespace platform
}  // namespace orv
