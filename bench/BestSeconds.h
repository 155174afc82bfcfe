// The best of a number of timed runs of one piece of work, in seconds: wall-clock time, and the
// processor time of the whole process (all its threads), which a machine loaded by other work
// disturbs less.
#pragma once

#include <algorithm>
#include <chrono>
#include <ctime>
#include <functional>

struct BestTimes {
  double wall = -1;
  double cpu = -1;
};

// -1 when a run fails.
inline BestTimes BestOfRounds(int rounds, const std::function<bool()>& run) {
  BestTimes best{1e30, 1e30};
  for (int round = 0; round < rounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    if (!run()) return BestTimes{};
    best.cpu = std::min(best.cpu, static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC);
    best.wall = std::min(best.wall, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

inline double BestSeconds(int rounds, const std::function<bool()>& run) { return BestOfRounds(rounds, run).wall; }
