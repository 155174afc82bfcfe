// The best of a number of timed runs of one piece of work, in seconds.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>

// -1 when a run fails.
inline double BestSeconds(int rounds, const std::function<bool()>& run) {
  double best = 1e30;
  for (int round = 0; round < rounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    if (!run()) return -1;
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}
