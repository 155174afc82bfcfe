// Parallel jobs on a WinThreadManager installed on the thread-manager stack give the results of
// the single-threaded run.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <random>
#include <vector>

#include "cache/MTBuildScalarSpeedFromVelocity.h"
#include "cache/particles/MTComputeParticlesBbox.h"
#include "cache/particles/PGroup.h"
#include "codecs/SGCompressor.h"
#include "support/threading/CvnParallel.h"
#include "support/threading/ThreadManagerStack.h"
#include "support/threading/WinThreadManager.h"
#include "tools/codec/StreamWriter.h"
#include "tools/codec/SyntheticFields.h"

namespace {

// A WinThreadManager on top of the thread-manager stack while alive.
class InstalledPool {
 public:
  InstalledPool() { CVNUtils::PushThreadManager(&manager); }
  ~InstalledPool() { CVNUtils::PopThreadManager(); }
  KUtils::WinThreadManager manager;
};

std::vector<float> smoothNoise(size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<float> v(n);
  for (size_t i = 0; i < n; ++i) {
    v[i] = (i % 5000 < 1200) ? 0.0f : std::sin(i * 0.002f) * 4.0f + (random() % 100) * 0.01f;
  }
  return v;
}

std::vector<float> decodeOnCallingThread(const std::vector<char>& stream, size_t n) {
  SGCompressor<1> codec(-1, nullptr, nullptr);
  std::vector<float> out(n, -7.0f);
  EXPECT_EQ(codec.Decompress(stream.data(), stream.size(), out.data(), out.size()), 1);
  EXPECT_EQ(codec.jobCount, 1);
  return out;
}

TEST(JobsOnPool, ZonedDecodingMatchesTheCallingThread) {
  const int dims[3] = {40, 30, 50};
  const std::vector<float> values = orv::codectools::SmokeField(dims, 3);
  std::vector<char> stream;
  orv::codectools::ZoneEncoding encoding;
  encoding.precisionBits = 10;
  ASSERT_TRUE(orv::codectools::AppendZonedGrid(values.data(), dims, 13,
                                               orv::codectools::ZoneForm::AlongValues, encoding,
                                               orv::codectools::kZonedMagic, stream));
  const std::vector<float> serial = decodeOnCallingThread(stream, values.size());
  InstalledPool pool;
  for (int threads : {-1, 2, 5}) {
    SGCompressor<1> codec(threads, nullptr, nullptr);
    for (int repeat = 0; repeat < 3; ++repeat) {
      std::vector<float> out(values.size(), -7.0f);
      ASSERT_EQ(codec.Decompress(stream.data(), stream.size(), out.data(), out.size()), 1);
      EXPECT_EQ(codec.threadManager(), &pool.manager);
      EXPECT_EQ(out, serial) << threads;
    }
    EXPECT_GE(codec.jobCount, 1);
  }
}

TEST(JobsOnPool, SpeedChannelMatchesTheCallingThread) {
  const size_t cells = 30011;
  const std::vector<float> vx = smoothNoise(cells, 4), vy = smoothNoise(cells, 5),
                           vz = smoothNoise(cells, 6);
  auto speedOf = [&](std::vector<float>& speed) {
    MTBuildScalarSpeedFromVelocity job;
    job.vx = vx.data();
    job.vy = vy.data();
    job.vz = vz.data();
    job.speed = speed.data();
    job.setupThreads(-1);
    job.splitRange(static_cast<long long>(cells));
    job.runJobs(0);
    return job.jobCount;
  };
  std::vector<float> serial(cells, -1.0f);
  EXPECT_EQ(speedOf(serial), 1);
  InstalledPool pool;
  std::vector<float> parallel(cells, -1.0f);
  speedOf(parallel);
  EXPECT_EQ(parallel, serial);
}

TEST(JobsOnPool, ParticleBoxMatchesTheCallingThread) {
  const int particles = 5003;
  std::vector<float> positions(particles * 3);
  std::mt19937 random(9);
  for (float& p : positions) p = static_cast<float>(static_cast<int>(random() % 400000) - 200000) * 0.5f;
  auto boxOf = [&](KUtils::Box& box, int& bad) {
    PGroup group;
    group.particleCount = particles;
    EXPECT_TRUE(group.setChannelData(0, positions.data(), -1));
    MTComputeParticlesBbox job;
    box = KUtils::EmptyBox();
    EXPECT_TRUE(job.run(group, box, bad));
  };
  KUtils::Box serial, parallel;
  int serialBad = -1, parallelBad = -2;
  boxOf(serial, serialBad);
  InstalledPool pool;
  boxOf(parallel, parallelBad);
  EXPECT_EQ(parallelBad, serialBad);
  EXPECT_GT(serialBad, 0);
  for (int a = 0; a < 3; ++a) {
    EXPECT_EQ(parallel.min[a], serial.min[a]);
    EXPECT_EQ(parallel.max[a], serial.max[a]);
  }
}

// A job that marks its range with its index and the run's mode.
struct MarkingJob : CVNUtils::CvnParallel {
  std::vector<int> marks;
  void processJob(CVNUtils::Job& job) override {
    for (long long i = job.start; i < job.end; ++i) marks[i] = job.index + job.mode;
  }
};

TEST(JobsOnPool, IdleJobsHoldNoWorker) {
  InstalledPool pool;
  MarkingJob job;
  job.setupThreads(4);
  ASSERT_EQ(job.jobCount, 4);
  EXPECT_EQ(pool.manager.workerCount(), 0);
  job.marks.assign(103, -1);
  job.splitRange(103);
  for (int mode = 0; mode < 20; ++mode) job.runJobs(mode * 10);
  for (long long i = 0; i < 103; ++i) {
    int expectedJob = 0;  // job j covers [103 * j / 4, 103 * (j + 1) / 4)
    while (i >= 103 * (expectedJob + 1) / 4) ++expectedJob;
    EXPECT_EQ(job.marks[i], expectedJob + 190) << i;
  }
  // Every worker is back in the pool: stopping them all does not wait for any job, and the same
  // jobs run again afterwards on fresh workers.
  const auto begin = std::chrono::steady_clock::now();
  pool.manager.terminateAll(false);
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(1));
  EXPECT_EQ(pool.manager.workerCount(), 0);
  job.runJobs(1);
  EXPECT_EQ(job.marks[102], 4);
}

}  // namespace
