// Whole-file advisory locks, so no other process writes a cache file while it is read.
#pragma once

#include <cstdio>

namespace orv {
namespace platform {

// Takes a shared (or exclusive) lock over the whole file without waiting; false when another
// process holds a conflicting lock or locking is not possible.
bool TryLockWholeFile(std::FILE* file, bool exclusive);
void UnlockWholeFile(std::FILE* file);

}  // namespace platform
}  // namespace orv
