// A host with threads: liborvloader.so loaded with dlopen and used with the host's own fixed-size
// pool, from several host threads at once, with a default manager destroyed under open frames, and
// loaded, used and unloaded again and again.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "orv/ICorvanePrtGroup.h"
#include "support/platform/Platform.h"
#include "tests/cache/WrittenFrames.h"
#include "tests/conversion/ScratchDirectory.h"
#include "tests/host/LoaderLibrary.h"
#include "tools/testing/FixedThreadPool.h"

namespace {

constexpr int kFrames = 8;
// Threads a test may see beyond those it accounts for (a sanitizer's own, for one).
constexpr int kThreadSlack = 2;

int processThreads() {
  const std::filesystem::directory_iterator tasks("/proc/self/task");
  return static_cast<int>(std::distance(begin(tasks), end(tasks)));
}

// True while liborvloader.so is mapped into the process.
bool loaderMapped() {
  void* handle = dlopen(ORV_LOADER_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
  if (handle) dlclose(handle);
  return handle != nullptr;
}

// Eight frames of zoned grid channels (one of the older box form), packed colour and, in the newer
// ones, a particle group whose channels use every grid-codec and bit-plane method.
std::vector<std::string> writeFrames(const ScratchDirectory& scratch) {
  using namespace orv::writer;
  std::vector<std::string> paths;
  for (int f = 0; f < kFrames; ++f) {
    const bool older = f % 4 == 3;
    Frame frame = written::gridFrame(older ? 4 : 6, 40 + 4 * (f % 3), 36, 24 + 2 * f);
    const std::vector<float> values = written::field(frame.gridSize, 0.01f * (f + 1));
    for (int id : {1, 2, 4, 5, 6, 10}) {
      GridChannel c = written::channel(id, values, f % 2 ? GridStreamKind::Zoned : GridStreamKind::ZonedAlt);
      c.zoneCount = 6;
      c.quantiseZones = true;
      for (float& v : c.values) v += id;
      frame.channels.push_back(c);
    }
    GridChannel colour;
    colour.id = 18;
    for (size_t i = 0; i < values.size(); ++i) colour.packed.push_back(static_cast<unsigned int>(i * 2654435761u) & 0xFFFFFF);
    frame.channels.push_back(colour);
    if (!older) {
      ParticleGroup group;
      group.name = "sparks";
      std::vector<float> positions, scalars;
      for (int p = 0; p < 700; ++p) {
        for (int a = 0; a < 3; ++a) positions.push_back(0.5f * p + a + f);
        scalars.push_back(0.25f * p - f);
      }
      group.channels = {FloatChannel(0, positions, 2), FloatChannel(1, positions, 3),
                        FloatChannel(2, scalars, 4), FloatChannel(3, scalars, 2)};
      frame.groups.push_back(group);
    }
    const std::string path = scratch.file("frame_" + std::to_string(f) + ".orv");
    std::string error;
    EXPECT_TRUE(WriteFile(frame, path, &error)) << error;
    paths.push_back(path);
  }
  return paths;
}

// Every value a frame offers a host: each grid channel, then each particle channel of each group.
using FrameValues = std::vector<std::vector<float>>;

FrameValues valuesOf(IOrv& frame) {
  FrameValues values;
  int size[3];
  frame.getGridSize(size);
  const size_t cells = static_cast<size_t>(size[0]) * size[1] * size[2];
  for (int id = 0; id < 32; ++id) {
    const float* channel = frame.hasChannel(id) ? frame.getChannel(id) : nullptr;
    values.push_back(channel ? std::vector<float>(channel, channel + cells) : std::vector<float>{});
  }
  for (int g = 0; g < frame.getParticleGroupCount(); ++g) {
    ICorvanePrtGroup* group = frame.getParticleGroup(g);
    for (int c = 0; c < 32; ++c) {
      if (!group->hasChannel(c)) continue;
      const int words = group->getChannelByteSize(c) / 4;
      std::vector<float> channel;
      float particle[4];
      for (int p = 0; p < group->getParticleCount(); ++p) {
        if (!group->getParticle(static_cast<unsigned int>(p), c, particle)) break;
        channel.insert(channel.end(), particle, particle + words);
      }
      values.push_back(channel);
    }
  }
  return values;
}

class HostThreads : public ::testing::Test {
 protected:
  // The thread count set below is this suite's alone: later tests in the process see none.
  void TearDown() override { orv::platform::SetEnvironmentValue("ZORB_NUM_THREADS", nullptr); }
  void SetUp() override {
    // More jobs than processors, so that every decode asks for helpers on any machine.
    orv::platform::SetEnvironmentValue("ZORB_NUM_THREADS", "4");
    paths = writeFrames(scratch);
    // The values without any thread manager, from a library of their own.
    LoaderLibrary loader;
    ASSERT_TRUE(loader.complete()) << loader.error;
    for (const std::string& path : paths) {
      IOrv* frame = loader.open(path.c_str());
      ASSERT_NE(frame, nullptr) << path;
      expected.push_back(valuesOf(*frame));
      loader.release(frame);
    }
  }

  // Opens every frame on this thread; they are shared, so every open of a path gives one frame.
  std::vector<IOrv*> openAll(LoaderLibrary& loader) {
    std::vector<IOrv*> frames;
    for (const std::string& path : paths) frames.push_back(loader.open(path.c_str()));
    return frames;
  }

  // Reads every value of every frame from `hostThreads` threads at once; the number of frames
  // whose values differ from the run without a manager.
  int mismatchesReadingFrom(int hostThreads, const std::vector<IOrv*>& frames) {
    std::vector<int> wrong(hostThreads, 0);
    std::vector<std::thread> hosts;
    for (int h = 0; h < hostThreads; ++h) {
      hosts.emplace_back([&, h] {
        for (int i = 0; i < kFrames; ++i) {
          const int f = (i + 3 * h) % kFrames;  // each thread starts elsewhere
          if (!frames[f] || valuesOf(*frames[f]) != expected[f]) ++wrong[h];
        }
      });
    }
    for (std::thread& host : hosts) host.join();
    int total = 0;
    for (int w : wrong) total += w;
    return total;
  }

  static void releaseAll(LoaderLibrary& loader, const std::vector<IOrv*>& frames) {
    for (IOrv* frame : frames) loader.release(frame);
  }

  ScratchDirectory scratch;
  std::vector<std::string> paths;
  std::vector<FrameValues> expected;
};

TEST_F(HostThreads, FixedPoolsServeEveryFrameFromSeveralThreads) {
  for (int workers : {1, 2}) {
    const int threadsBefore = processThreads();
    FixedThreadPool pool(workers);
    {
      LoaderLibrary loader;
      ASSERT_TRUE(loader.complete()) << loader.error;
      ASSERT_EQ(loader.initializeWithManager(ORV_TEST_PLUGIN_DIR, "fixed", 0, &pool), 3);
      for (int hostThreads : {1, 4}) {
        SCOPED_TRACE(std::to_string(workers) + " workers, " + std::to_string(hostThreads) +
                     " host threads");
        const std::vector<IOrv*> frames = openAll(loader);
        EXPECT_EQ(mismatchesReadingFrom(hostThreads, frames), 0);
        // Only the pool's own workers run the decodes: the library started no thread.
        EXPECT_LE(processThreads(), threadsBefore + workers + kThreadSlack);
        releaseAll(loader, frames);
      }
      EXPECT_GT(pool.acceptedTasks(), 0);
      loader.finalize();
    }
  }
}

TEST_F(HostThreads, DefaultManagerDestroyedUnderOpenFrames) {
  const int threadsBefore = processThreads();
  LoaderLibrary loader;
  ASSERT_TRUE(loader.complete()) << loader.error;
  KUtils::ThreadManager* manager = loader.createManager();
  ASSERT_EQ(loader.initializeWithManager(ORV_TEST_PLUGIN_DIR, "fixed", 0, manager), 3);
  const std::vector<IOrv*> frames = openAll(loader);
  // Half of the frames decoded on the pool, the rest after it is gone.
  for (int f = 0; f < kFrames / 2; ++f) EXPECT_EQ(valuesOf(*frames[f]), expected[f]) << f;
  const auto begin = std::chrono::steady_clock::now();
  loader.destroyManager(manager);
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(500));
  EXPECT_LE(processThreads(), threadsBefore + kThreadSlack);
  EXPECT_EQ(mismatchesReadingFrom(2, frames), 0);
  EXPECT_LE(processThreads(), threadsBefore + kThreadSlack);
  loader.finalize();
  releaseAll(loader, frames);
}

// Load, use, unload: `frames` are left open in every other round, and so is the default manager;
// the unload destroys both. No thread of the library may outlive the unload.
TEST_F(HostThreads, DefaultManagerLoadUseUnloadRounds) {
  const bool pinnedBefore = loaderMapped();
  const int threadsBefore = processThreads();
  for (int round = 0; round < 50; ++round) {
    SCOPED_TRACE(round);
    const bool leaveOpen = round % 2 == 1;
    {
      LoaderLibrary loader;
      ASSERT_TRUE(loader.complete()) << loader.error;
      KUtils::ThreadManager* manager = loader.createManager();
      ASSERT_EQ(loader.initializeWithManager(ORV_TEST_PLUGIN_DIR, "fixed", 0, manager), 3);
      const std::vector<IOrv*> frames = openAll(loader);
      const int f = round % kFrames;
      ASSERT_EQ(valuesOf(*frames[f]), expected[f]);
      if (!leaveOpen) {
        loader.finalize();
        releaseAll(loader, frames);
        loader.destroyManager(manager);
      }
    }
    // A library kept loaded by an earlier test of this process is not unloaded at all.
    if (!pinnedBefore) {
      EXPECT_FALSE(loaderMapped());
      EXPECT_LE(processThreads(), threadsBefore + kThreadSlack);
    }
  }
}

// The same with the host's own pools, destroyed only after the unload: the library stays mapped
// once its work ran on the host's threads, which it cannot join.
TEST_F(HostThreads, HostPoolLoadUseUnloadRounds) {
  for (int round = 0; round < 50; ++round) {
    SCOPED_TRACE(round);
    auto pool = std::make_unique<FixedThreadPool>(1 + round % 2);
    {
      LoaderLibrary loader;
      ASSERT_TRUE(loader.complete()) << loader.error;
      ASSERT_EQ(loader.initializeWithManager(ORV_TEST_PLUGIN_DIR, "fixed", 0, pool.get()), 3);
      const std::vector<IOrv*> frames = openAll(loader);
      const int f = round % kFrames;
      ASSERT_EQ(valuesOf(*frames[f]), expected[f]);
      if (round % 4 < 2) {
        loader.finalize();
        releaseAll(loader, frames);
      }
    }
    EXPECT_TRUE(loaderMapped());
    pool.reset();
  }
}

}  // namespace
