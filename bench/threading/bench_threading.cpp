// Thread-pool costs, each against a baseline of the same run:
//   - the round trip of an empty runJobs of 1 and 2 jobs on the WinThreadManager (with 2, a
//     helper is posted to a worker and the run waits for it to return), against the same jobs on
//     the calling thread and on one thread per task;
//   - zoned SGCompressor<1> decoding on 1 and on 2 workers of the WinThreadManager; the speed-up
//     of 2 workers over 1 is printed after the run.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "codecs/SGCompressor.h"
#include "support/threading/CvnParallel.h"
#include "support/threading/ThreadManagerStack.h"
#include "support/threading/WinThreadManager.h"
#include "tools/codec/StreamWriter.h"
#include "tools/codec/SyntheticFields.h"
#include "tools/testing/ThreadPerTaskManager.h"

namespace {

KUtils::WinThreadManager& pool() {
  static KUtils::WinThreadManager* manager = new KUtils::WinThreadManager();
  return *manager;
}

void EmptyRunJobsOnPool(benchmark::State& state) {
  CVNUtils::CvnParallel parallel(&pool());
  parallel.setupThreads(static_cast<int>(state.range(0)));
  for (auto _ : state) parallel.runJobs(0);
}
BENCHMARK(EmptyRunJobsOnPool)->Arg(1)->Arg(2)->UseRealTime();

void EmptyRunJobsThreadPerTask(benchmark::State& state) {
  ThreadPerTaskManager manager;
  {
    CVNUtils::CvnParallel parallel(&manager);
    parallel.setupThreads(static_cast<int>(state.range(0)));
    for (auto _ : state) parallel.runJobs(0);
  }
}
BENCHMARK(EmptyRunJobsThreadPerTask)->Arg(2)->UseRealTime();

void EmptyRunJobsCallingThread(benchmark::State& state) {
  CVNUtils::CvnParallel parallel;
  parallel.setupThreads(-1);
  for (auto _ : state) parallel.runJobs(0);
}
BENCHMARK(EmptyRunJobsCallingThread);

struct ZonedGrid {
  int dims[3] = {128, 128, 128};
  std::vector<float> values;
  std::vector<char> stream;
  ZonedGrid() {
    values = orv::codectools::SmokeField(dims, 5);
    orv::codectools::ZoneEncoding encoding;
    encoding.precisionBits = 12;
    encoding.predictionOrder = 2;
    orv::codectools::AppendZonedGrid(values.data(), dims, 64,
                                     orv::codectools::ZoneForm::AlongValues, encoding,
                                     orv::codectools::kZonedMagic, stream);
  }
};

const ZonedGrid& grid() {
  static const ZonedGrid* made = new ZonedGrid();
  return *made;
}

double decodeSeconds[3] = {0, 0, 0};  // per decode, by worker count

void ZonedDecodeOnPool(benchmark::State& state) {
  const int workers = static_cast<int>(state.range(0));
  const ZonedGrid& g = grid();
  std::vector<float> out(g.values.size());
  CVNUtils::PushThreadManager(&pool());
  {
    SGCompressor<1> codec(workers, nullptr, nullptr);
    double total = 0;
    long long decodes = 0;
    for (auto _ : state) {
      const auto begin = std::chrono::steady_clock::now();
      if (codec.Decompress(g.stream.data(), g.stream.size(), out.data(),
                           static_cast<long long>(out.size())) != 1) {
        state.SkipWithError("decode failed");
        break;
      }
      total += std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
      ++decodes;
    }
    if (decodes > 0) decodeSeconds[workers] = total / decodes;
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(out.size() * 4));
  }
  CVNUtils::PopThreadManager();
}
BENCHMARK(ZonedDecodeOnPool)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (decodeSeconds[1] > 0 && decodeSeconds[2] > 0) {
    std::printf("zoned SGCompressor<1> decode: 1 worker %.3f ms, 2 workers %.3f ms, speed-up %.2fx\n",
                decodeSeconds[1] * 1e3, decodeSeconds[2] * 1e3, decodeSeconds[1] / decodeSeconds[2]);
  }
  return 0;
}
