// A second process for the lock tests: takes an exclusive whole-file lock on argv[1], creates the
// file argv[2] to say so, and holds the lock until the file argv[3] appears (at most 60 s).
#include <cstdio>

#include "support/platform/FileLock.h"
#include "support/platform/Platform.h"
#include "support/platform/Threads.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  std::FILE* file = orv::platform::OpenFile(argv[1], "rb");
  if (!file) return 3;
  if (orv::platform::TryLockWholeFile(file, true) != orv::platform::FileLockResult::Locked) return 4;
  if (std::FILE* ready = orv::platform::OpenFile(argv[2], "wb")) std::fclose(ready);
  for (int waited = 0; waited < 60000 && !orv::platform::FileAccessible(argv[3], orv::platform::Access::Exists);
       waited += 10) {
    orv::platform::SleepMilliseconds(10);
  }
  orv::platform::UnlockWholeFile(file);
  std::fclose(file);
  return 0;
}
