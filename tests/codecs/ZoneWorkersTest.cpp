// Zones of one stream decoded by the calling thread and helpers on real worker threads.
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "codecs/SGCompressor.h"
#include "support/threading/ThreadManagerStack.h"
#include "support/threading/WinThreadManager.h"
#include "tools/codec/StreamWriter.h"
#include "tools/codec/SyntheticFields.h"
#include "tools/testing/ThreadPerTaskManager.h"

namespace {

using namespace orv::codectools;

// Records which thread ran each job, then decodes the job's zones as usual.
template <int N>
struct WatchedCompressor : SGCompressor<N> {
  using SGCompressor<N>::SGCompressor;
  void processJob(CVNUtils::Job& job) override {
    {
      std::lock_guard<std::mutex> lock(mutex);
      threads.insert(std::this_thread::get_id());
      jobIndexes.insert(job.index);
    }
    SGCompressor<N>::processJob(job);
  }
  std::mutex mutex;
  std::set<std::thread::id> threads;
  std::set<int> jobIndexes;
};

// Pushes a manager on the loader's stack for the life of the object.
struct CurrentManager {
  explicit CurrentManager(KUtils::ThreadManager* m) { pushed = CVNUtils::PushThreadManager(m); }
  ~CurrentManager() {
    if (pushed) CVNUtils::PopThreadManager();
  }
  bool pushed;
};

// Decodes a 22-zone stream on the calling thread and on three workers of manager.
template <int N>
void expectWorkersMatchCallingThread(ZoneForm form, KUtils::ThreadManager& manager) {
  const int dims[3] = {48, 40, 44};
  const std::vector<float> smoke = SmokeField(dims, 21);
  ZoneEncoding e;
  e.precisionBits = 8;
  e.predictionOrder = 2;
  std::vector<char> s;
  ASSERT_TRUE(AppendZonedGrid(smoke.data(), dims, 22, form, e, kZonedMagic, s));

  std::vector<float> alone(smoke.size(), -1.0f), onWorkers(smoke.size(), -2.0f);
  {
    WatchedCompressor<N> codec(-1, nullptr, nullptr);
    ASSERT_EQ(codec.Decompress(s.data(), s.size(), alone.data(), alone.size()), 1);
    EXPECT_EQ(codec.jobCount, 1);
    EXPECT_EQ(codec.threads, std::set<std::thread::id>{std::this_thread::get_id()});
  }
  {
    CurrentManager current(&manager);
    ASSERT_TRUE(current.pushed);
    WatchedCompressor<N> codec(3, nullptr, nullptr);
    // Two decodes with the same jobs; which thread takes which job does not change the values.
    for (int run = 0; run < 2; ++run) {
      std::fill(onWorkers.begin(), onWorkers.end(), -2.0f);
      ASSERT_EQ(codec.Decompress(s.data(), s.size(), onWorkers.data(), onWorkers.size()), 1);
      ASSERT_EQ(std::memcmp(onWorkers.data(), alone.data(), 4 * alone.size()), 0) << run;
    }
    EXPECT_EQ(codec.jobCount, 3);
    EXPECT_EQ(codec.jobIndexes, (std::set<int>{0, 1, 2}));
    EXPECT_TRUE(codec.scratch.empty());
  }
  // Every value was decoded, and well enough to be the field.
  for (size_t i = 0; i < smoke.size(); ++i) ASSERT_NEAR(alone[i], smoke[i], 1.0f / 256) << i;
}

TEST(ZonesOnWorkers, AlongValuesIdenticalToCallingThread) {
  ThreadPerTaskManager manager;
  expectWorkersMatchCallingThread<1>(ZoneForm::AlongValues, manager);
}

TEST(ZonesOnWorkers, OverBoxIdenticalToCallingThread) {
  ThreadPerTaskManager manager;
  expectWorkersMatchCallingThread<3>(ZoneForm::OverBox, manager);
}

TEST(ZonesOnWorkers, LibraryPoolIdenticalToCallingThread) {
  KUtils::WinThreadManager pool;
  expectWorkersMatchCallingThread<1>(ZoneForm::AlongValues, pool);
  expectWorkersMatchCallingThread<3>(ZoneForm::OverBox, pool);
}

// More workers than zones: the idle jobs write nothing, the failing zone only spoils itself.
TEST(ZonesOnWorkers, FailingZoneOnAWorkerLeavesOnlyItsSlice) {
  const std::vector<float> noise = NoiseField(400, 0.0f, 1.0f, 4);
  std::vector<std::vector<char>> zones(4);
  ZoneEncoding e;
  e.precisionBits = 10;
  for (int z = 0; z < 4; ++z) ASSERT_TRUE(AppendZoneAlongValues(noise.data() + 100 * z, 100, e, zones[z]));
  zones[2].resize(zones[2].size() / 2);  // its entropy stream now runs past its bytes
  std::vector<char> s;
  ASSERT_TRUE(AppendZonedStream(kZonedMagic, {0, 100, 200, 300}, zones, s));
  ThreadPerTaskManager manager;
  CurrentManager current(&manager);
  SGCompressor<1> codec(6, nullptr, nullptr);
  std::vector<float> out(400, -1.0f);
  ASSERT_EQ(codec.Decompress(s.data(), s.size(), out.data(), 400), 1);
  for (int i = 0; i < 400; ++i) {
    if (i >= 200 && i < 300) {
      ASSERT_EQ(out[i], -1.0f) << i;
    } else {
      ASSERT_NEAR(out[i], noise[i], 1.0f / 1024) << i;
    }
  }
}

}  // namespace
