#include "support/platform/FileLock.h"

#include <fcntl.h>
#include <unistd.h>

namespace orv {
namespace platform {

namespace {
bool setLock(std::FILE* file, short type) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;  // to the end of the file, however it grows
  return fcntl(fileno(file), F_OFD_SETLK, &lock) == 0;
}
}  // namespace

bool TryLockWholeFile(std::FILE* file, bool exclusive) {
  return file && setLock(file, exclusive ? F_WRLCK : F_RDLCK);
}

void UnlockWholeFile(std::FILE* file) {
  if (file) setLock(file, F_UNLCK);
}

}  // namespace platform
}  // namespace orv
