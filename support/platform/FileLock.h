// Whole-file advisory locks, so no other process writes a cache file while it is read.
#pragma once

#include <cstdio>

namespace orv {
namespace platform {

enum class FileLockResult {
  Locked,       // the lock is held
  Busy,         // another process holds a conflicting lock: trying again may succeed
  Unsupported,  // the file system has no byte-range locks (ENOLCK, EOPNOTSUPP and the like)
};

// Takes a shared (or exclusive) lock over the whole file without waiting.
FileLockResult TryLockWholeFile(std::FILE* file, bool exclusive);
void UnlockWholeFile(std::FILE* file);

// Tests: every later lock attempt fails as the system would with `error` (an errno value); 0
// restores real locking.
void InjectFileLockError(int error);

}  // namespace platform
}  // namespace orv
