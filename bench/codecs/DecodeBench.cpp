// Decode speed of a smoke-like grid channel: the zoned stream decoded on the calling thread and
// on two workers, against inflating the same float array from a zlib block (level 6) in the
// same run. Figures are output megabytes per second, best of several rounds.
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "codecs/SGCompressor.h"
#include "codecs/ZipBlock.h"
#include "support/threading/ThreadManagerStack.h"
#include "support/threading/WinThreadManager.h"
#include "tools/codec/StreamWriter.h"
#include "tools/codec/SyntheticFields.h"
#include "tools/testing/ThreadPerTaskManager.h"

namespace {

using namespace orv::codectools;

constexpr int kSide = 128;
constexpr int kZones = 16;
constexpr int kRounds = 15;
constexpr int kDecodesPerRound = 4;

// Best output rate over the rounds, in MB/s of `bytes` per call.
double bestRate(double bytes, const std::function<bool()>& decode) {
  double best = 0;
  for (int round = 0; round < kRounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kDecodesPerRound; ++i) {
      if (!decode()) return -1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double rate = bytes * kDecodesPerRound / seconds / 1e6;
    if (rate > best) best = rate;
  }
  return best;
}

// Best rate of decoding the stream on two workers of manager, pushed as the current one.
double rateOnWorkers(KUtils::ThreadManager& manager, const std::vector<char>& stream,
                     std::vector<float>& out, double bytes) {
  CVNUtils::PushThreadManager(&manager);
  double rate = 0;
  {
    SGCompressor<1> codec(2, nullptr, nullptr);
    rate = bestRate(bytes, [&] {
      return codec.Decompress(stream.data(), stream.size(), out.data(),
                              static_cast<long long>(out.size())) == 1;
    });
  }
  CVNUtils::PopThreadManager();
  return rate;
}

}  // namespace

int main(int argc, char** argv) {
  const int order = argc > 1 ? std::atoi(argv[1]) : 2;
  const int dims[3] = {kSide, kSide, kSide};
  const std::vector<float> field = SmokeField(dims, 1);
  const double bytes = 4.0 * field.size();
  long long empty = 0;
  for (float v : field) empty += v == 0.0f;

  ZoneEncoding encoding;
  encoding.precisionBits = 8;
  encoding.predictionOrder = order;
  std::vector<char> stream;
  if (!AppendZonedGrid(field.data(), dims, kZones, ZoneForm::AlongValues, encoding, kZonedMagic,
                       stream)) {
    std::printf("encoding failed\n");
    return 1;
  }
  uLongf zippedLength = compressBound(static_cast<uLong>(bytes));
  std::vector<unsigned char> zipped(zippedLength);
  if (compress2(zipped.data(), &zippedLength, reinterpret_cast<const Bytef*>(field.data()),
                static_cast<uLong>(bytes), 6) != Z_OK) {
    std::printf("zlib failed\n");
    return 1;
  }

  std::vector<float> inflated(field.size()), single(field.size()), parallel(field.size());
  const double inflateRate = bestRate(bytes, [&] {
    return InflateBlock(zipped.data(), static_cast<unsigned>(zippedLength), inflated.data(),
                        static_cast<unsigned>(bytes));
  });
  SGCompressor<1> alone(-1, nullptr, nullptr);
  const double singleRate = bestRate(bytes, [&] {
    return alone.Decompress(stream.data(), stream.size(), single.data(),
                            static_cast<long long>(single.size())) == 1;
  });
  // Two workers, with the codec taking the loader's current thread manager as in a host: the
  // library's pool, then a thread per job as a cross-check.
  KUtils::WinThreadManager pool;
  ThreadPerTaskManager threadPerJob;
  const double poolRate = rateOnWorkers(pool, stream, parallel, bytes);
  std::vector<float> parallelCheck(field.size());
  const double threadPerJobRate = rateOnWorkers(threadPerJob, stream, parallelCheck, bytes);
  const bool exact = std::memcmp(inflated.data(), field.data(), static_cast<size_t>(bytes)) == 0 &&
                     std::memcmp(single.data(), parallel.data(), static_cast<size_t>(bytes)) == 0 &&
                     std::memcmp(single.data(), parallelCheck.data(), static_cast<size_t>(bytes)) == 0;

  std::printf("channel %d^3 floats, %.0f%% empty, %d zones, 8 bits, prediction order %d\n", kSide,
              100.0 * empty / field.size(), kZones, order);
  std::printf("zoned stream %.2f MB (%.1fx), zlib block %.2f MB (%.1fx)\n", stream.size() / 1e6,
              bytes / stream.size(), zippedLength / 1e6, bytes / zippedLength);
  std::printf("zlib inflate          %8.1f MB/s\n", inflateRate);
  std::printf("decode, 1 thread      %8.1f MB/s  ratio to inflate %.2f (target >= 1.0)\n",
              singleRate, singleRate / inflateRate);
  std::printf("decode, 2 workers     %8.1f MB/s  speed-up %.2f (target >= 1.7), WinThreadManager pool\n",
              poolRate, poolRate / singleRate);
  std::printf("decode, 2 workers     %8.1f MB/s  speed-up %.2f, thread-per-job test manager\n",
              threadPerJobRate, threadPerJobRate / singleRate);
  std::printf("outputs %s\n", exact ? "identical" : "DIFFER");
  return exact && inflateRate > 0 && singleRate > 0 && poolRate > 0 && threadPerJobRate > 0 ? 0
                                                                                        : 1;
}
