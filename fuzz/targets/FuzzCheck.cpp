#include "fuzz/targets/FuzzCheck.h"

#include <cstdio>
#include <cstdlib>

void FuzzFailure(const char* file, int line, const char* condition) {
  std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, condition);
  std::abort();
}
