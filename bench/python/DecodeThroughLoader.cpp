// The C++ side of the Python channel benchmark: a host of liborvloader.so set up as the orv
// module sets it up (plug-ins, the library's own thread pool) decoding the smoke channel of a
// freshly opened frame, round after round. Prints the seconds of each decode, one per line.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "orv/OrvLoader.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::printf("usage: bench_python_decode FILE.orv ROUNDS\n");
    return 1;
  }
  if (initalizeOrvaLoader(nullptr, nullptr, 0) != 0) {
    initalizeOrvaLoader(nullptr, nullptr, 0, createDefaultThreadManager());
  }
  const int rounds = std::atoi(argv[2]);
  for (int r = 0; r < rounds; ++r) {
    IOrv* frame = newIOrv(argv[1]);
    if (!frame) return 1;
    const auto start = std::chrono::steady_clock::now();
    const float* smoke = frame->getChannel(2);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    deleteIOrv(frame);
    if (!smoke) return 1;
    std::printf("%.6f\n", seconds);
  }
  return 0;
}
