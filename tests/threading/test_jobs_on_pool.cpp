// Parallel jobs on a WinThreadManager installed on the thread-manager stack give the results of
// the single-threaded run.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <thread>
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

// Range jobs record which worker and pool index handled each item.
struct IndexedRangeJob : CVNUtils::CvnParallel {
  using CvnParallel::CvnParallel;
  std::vector<int> handledBy;
  std::vector<int> poolIndex;
  std::set<std::thread::id> threads;
  std::mutex lock;
  void processJob(CVNUtils::Job& job) override {
    const int index = threadManager()->getCurrentThreadIndex();
    for (long long i = job.start; i < job.end; ++i) {
      handledBy[i] = job.index + job.mode;
      poolIndex[i] = index;
    }
    std::lock_guard<std::mutex> guard(lock);
    threads.insert(std::this_thread::get_id());
  }
};

TEST(JobsOnPool, PersistentJobsKeepTheirWorkersAcrossRuns) {
  InstalledPool pool;
  {
    IndexedRangeJob job;
    job.setupThreads(4);
    ASSERT_EQ(job.jobCount, 4);
    EXPECT_EQ(pool.manager.workerCount(), 4);
    job.handledBy.assign(103, -1);
    job.poolIndex.assign(103, -9);
    job.splitRange(103);
    for (int mode = 0; mode < 20; ++mode) job.runJobs(mode * 10);
    for (long long i = 0; i < 103; ++i) {
      int expectedJob = 0;  // job j covers [103 * j / 4, 103 * (j + 1) / 4)
      while (i >= 103 * (expectedJob + 1) / 4) ++expectedJob;
      EXPECT_EQ(job.handledBy[i], expectedJob + 190) << i;
      // A job's worker was started with the job's index.
      EXPECT_EQ(job.poolIndex[i], expectedJob) << i;
    }
    EXPECT_EQ(job.threads.size(), 4u);
    EXPECT_EQ(pool.manager.workerCount(), 4);
  }
  // The jobs gave their workers back: the manager still runs batches on them.
  struct Nothing : KUtils::BatchProcedure {
    void run(int*, int*, int, int) override {}
  } nothing;
  EXPECT_EQ(pool.manager.run(4, &nothing, nullptr, false), 0);
}

}  // namespace
