// The general-purpose baselines every decode figure is compared with: zlib inflate and zstd
// decompression of the same decoded bytes, each compressed once at its library's usual level.
#pragma once

#include <functional>
#include <memory>
#include <vector>

// One timed operation: `call` is timed, `prepare` (optional) runs untimed before each call.
struct TimedCall {
  std::function<bool()> call;
  std::function<bool()> prepare;
};

// Best rates in MB/s of `bytes` per call, over `rounds` rounds that run every call once in turn,
// so that a change of load on the machine touches all of them alike. Times are the process's CPU
// time, which other programs on a shared machine do not inflate. A failing call's rate is -1.
std::vector<double> BestRates(double bytes, int rounds, const std::vector<TimedCall>& calls);

// A zlib block (level 6) and a zstd frame (level 3) of the bytes at data, and their decoders.
// With freshOutput every call decompresses into newly allocated memory, as a decode that must
// allocate its result (a particle channel's first access) does; otherwise into one reused buffer.
class GeneralBaselines {
 public:
  GeneralBaselines(const void* data, size_t bytes, bool freshOutput);
  // False when either library failed to give the bytes back.
  bool ready() const { return ready_; }
  // Inflating the zlib block; decompressing the zstd frame.
  TimedCall inflate();
  TimedCall zstd();

 private:
  // The buffer a call decompresses into: out_, or a fresh allocation each time.
  char* destination();

  size_t bytes_;
  bool freshOutput_;
  bool ready_ = false;
  std::unique_ptr<char[]> fresh_;
  std::vector<unsigned char> zlibBlock_;
  std::vector<char> zstdFrame_;
  std::vector<char> out_;
};
