// Frames and files shared between threads: first requests of one channel decode once and hand
// every thread the same array; two readers of one path take turns through the open-file
// registry; every prefix of a written file loads with a defined result.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "WrittenFrames.h"
#include "cache/OpenFileRegistry.h"
#include "support/platform/FileLock.h"

namespace {

using namespace written;

constexpr int kThreads = 8;

Frame sharedFrame() {
  const int size[3] = {24, 20, 16};
  Frame description = gridFrame(6, size[0], size[1], size[2]);
  for (int id = 4; id <= 6; ++id) {
    GridChannel velocity = channel(id, field(size, id * 0.5f), GridStreamKind::Zoned);
    velocity.zoneCount = 4;
    velocity.quantiseZones = true;
    description.channels.push_back(velocity);
  }
  GridChannel colour;
  colour.id = 18;
  for (int c = 0; c < size[0] * size[1] * size[2]; ++c) colour.packed.push_back(c * 2654435761u);
  description.channels.push_back(colour);
  return description;
}

// Each thread asks for the channels in its own order; all must see one array per channel.
TEST(ConcurrentChannels, EightThreadsShareOneDecodePerChannel) {
  for (int round = 0; round < 5; ++round) {
    CorvaneFrameData frame;
    ASSERT_EQ(load(frame, sharedFrame()), 0);
    const int ids[] = {3, 4, 5, 6, 7, 8, 9};
    std::vector<std::vector<const float*>> seen(kThreads, std::vector<const float*>(7));
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        ++ready;
        while (ready < kThreads) std::this_thread::yield();
        for (int k = 0; k < 7; ++k) {
          const int slot = (k + t) % 7;
          seen[t][slot] = frame.getChannel(ids[slot]);
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
    for (int k = 0; k < 7; ++k) {
      ASSERT_NE(seen[0][k], nullptr) << ids[k];
      for (int t = 1; t < kThreads; ++t) EXPECT_EQ(seen[t][k], seen[0][k]) << ids[k];
      // The arrays handed out are the ones the frame keeps.
      EXPECT_EQ(frame.getChannel(ids[k]), seen[0][k]);
    }
    EXPECT_EQ(frame.getChannel(18), nullptr);
  }
}

TEST(ConcurrentParticles, FirstReadsOfAWrittenGroupAgree) {
  Frame description = gridFrame(6, 1, 1, 1);
  ParticleGroup group;
  group.name = "p";
  std::vector<float> positions;
  std::vector<long long> ids;
  for (int i = 0; i < 500; ++i) {
    positions.insert(positions.end(), {i * 0.5f, -i * 1.0f, 3.0f});
    ids.push_back((i * 37) % 500);
  }
  group.channels.push_back(FloatChannel(0, positions, 4));
  group.channels.push_back(IdChannel(ids, 1));
  description.groups.push_back(group);
  CorvaneFrameData frame;
  ASSERT_EQ(load(frame, description), 0);
  ICorvanePrtGroup* loaded = frame.getParticleGroup(0);
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = t; i < 500; i += 3) {
        float p[3];
        if (!loaded->getParticle(i, 0, p) || p[0] != i * 0.5f) ++wrong;
        if (loaded->findParticleById(ids[i]) != i) ++wrong;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, 0);
}

// While the registry holds a path, a reader of it waits; it reads once the path is released.
TEST(OpenFileRegistryTurns, ASecondReaderWaitsForTheFirst) {
  const std::string path = tempPath("registered.orv");
  saveBytes(path, bytesOf(sharedFrame()));
  ASSERT_TRUE(OpenFileRegistry::WaitAndRegister(path.c_str()));
  std::atomic<int> result{-1};
  std::thread reader([&] {
    CorvaneFrameData frame;
    result = frame.ImportOrv(path.c_str(), true, false);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  EXPECT_EQ(result, -1);
  OpenFileRegistry::Unregister(path.c_str());
  reader.join();
  EXPECT_EQ(result, 0);
}

TEST(OpenFileRegistryTurns, ReadersOfOnePathBothSucceed) {
  const std::string path = tempPath("twice.orv");
  saveBytes(path, bytesOf(sharedFrame()));
  int results[2] = {-1, -1};
  std::thread first([&] { CorvaneFrameData f; results[0] = f.ImportOrv(path.c_str(), true, false); });
  std::thread second([&] { CorvaneFrameData f; results[1] = f.ImportOrv(path.c_str(), true, false); });
  first.join();
  second.join();
  EXPECT_EQ(results[0], 0);
  EXPECT_EQ(results[1], 0);
  // The registry is empty again: the path can be registered at once.
  ASSERT_TRUE(OpenFileRegistry::WaitAndRegister(path.c_str()));
  OpenFileRegistry::Unregister(path.c_str());
}

TEST(OpenFileRegistryTurns, AReaderGivesUpAfterThirtyRounds) {
  const std::string path = tempPath("held.orv");
  saveBytes(path, bytesOf(gridFrame(6, 1, 1, 1)));
  ASSERT_TRUE(OpenFileRegistry::WaitAndRegister(path.c_str()));
  const auto start = std::chrono::steady_clock::now();
  CorvaneFrameData frame;
  EXPECT_EQ(frame.ImportOrv(path.c_str(), true, false), 3);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(5500));
  OpenFileRegistry::Unregister(path.c_str());
}

// A file system without byte-range locks answers at once: the frame is read without the lock,
// and a '#' line says so.
TEST(FileLocks, FileSystemsWithoutByteRangeLocksAreReadUnlocked) {
  const std::string path = tempPath("unlockable.orv");
  saveBytes(path, bytesOf(sharedFrame()));
  for (int error : {ENOLCK, EOPNOTSUPP}) {
    SCOPED_TRACE(error);
    orv::platform::InjectFileLockError(error);
    LogCapture log;
    CorvaneFrameData frame;
    EXPECT_EQ(frame.ImportOrv(path.c_str(), true, false), 0);
    orv::platform::InjectFileLockError(0);
    EXPECT_TRUE(log.contains("#ImportOrv " + path +
                             ": the file system cannot lock the file; it is read without the lock\n"));
    EXPECT_NE(frame.getChannel(4), nullptr);
  }
}

// Every prefix of a written file with particles in all three forms gives a defined code; the
// sanitizer build checks that nothing is read past the file and nothing leaks.
TEST(TruncatedFiles, EveryPrefixGivesADefinedResult) {
  for (ParticleLayout layoutKind : {ParticleLayout::Chunks, ParticleLayout::UncompressedBlock,
                                    ParticleLayout::CompressedBlock}) {
    Frame description = gridFrame(layoutKind == ParticleLayout::Chunks ? 6 : 3, 4, 3, 2);
    const int size[3] = {4, 3, 2};
    description.channels.push_back(channel(1, field(size), GridStreamKind::Quantised));
    description.particleLayout = layoutKind;
    description.writeSummary = layoutKind != ParticleLayout::UncompressedBlock;
    description.chunkText = "t";
    description.ranges = {{1, 0, 1}};
    description.frameNumber = 3;
    description.simulationHeader = std::vector<char>(20, 1);
    for (int method = 0; method < 5; ++method) {
      ParticleGroup group;
      group.name = "g" + std::to_string(method);
      std::vector<float> positions;
      for (int i = 0; i < 3 * 40; ++i) positions.push_back(i * 0.25f);
      group.channels.push_back(FloatChannel(0, positions, method));
      if (layoutKind == ParticleLayout::Chunks) {
        std::vector<long long> ids;
        for (int i = 0; i < 40; ++i) ids.push_back(40 - i);
        group.channels.push_back(IdChannel(ids, method % 2));
      } else {
        for (int i = 0; i < 40; ++i) group.idBlock.push_back(i % 7 - i);
      }
      description.groups.push_back(group);
    }
    const std::vector<char> whole = bytesOf(description);
    int loaded = 0;
    // Every byte of the first 256 (header, channel stream, blocks), then a spread of cuts.
    for (size_t cut = 0; cut <= whole.size(); cut += cut < 256 ? 1 : 1 + whole.size() / 200) {
      const std::vector<char> prefix(whole.begin(), whole.begin() + cut);
      CorvaneFrameData frame;
      const int result = load(frame, prefix, false, "prefix.orv");
      ASSERT_TRUE(result == 0 || result == 4 || result == 12) << cut << " gave " << result;
      if (result != 0) continue;
      ++loaded;
      frame.getChannel(1);
      for (int g = 0; g < frame.getParticleGroupCount(); ++g) {
        float p[3];
        frame.getParticleGroup(g)->getParticle(0, 0, p);
        frame.getParticleGroup(g)->findParticleById(3);
      }
    }
    EXPECT_LE(loaded, 1);  // only the whole file has its footer
    CorvaneFrameData frame;
    EXPECT_EQ(load(frame, whole, false, "prefix.orv"), 0);
  }
}

// Cuts keep the footer: the content before it is cut short, so reads run into the footer.
TEST(TruncatedFiles, ContentCutBeforeTheFooterGivesADefinedResult) {
  Frame description = gridFrame(4, 4, 3, 2);
  description.particleLayout = ParticleLayout::CompressedBlock;
  description.writeSummary = false;
  ParticleGroup group;
  group.name = "g";
  group.channels.push_back(FloatChannel(0, std::vector<float>(60, 1.5f)));
  group.idBlock = {5, 4, 3, 2, 1, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
  description.groups.push_back(group);
  Layout layout;
  const std::vector<char> whole = bytesOf(description, &layout);
  const std::vector<char> footer(whole.begin() + layout.footerOffset, whole.end());
  for (long long cut = 4; cut < layout.dataOffset; ++cut) {
    // The chunk section (marker and end id) stays at its place ahead of the footer.
    std::vector<char> bytes(whole.begin(), whole.begin() + cut);
    const long long marker = static_cast<long long>(bytes.size());
    ByteSink out(bytes);
    out.bytes("DATA", 4);
    out.i32(9999999);
    out.bytes(footer);
    patch(bytes, static_cast<long long>(bytes.size()) - 20, marker);
    CorvaneFrameData frame;
    const int result = load(frame, bytes, false, "cut.orv");
    ASSERT_TRUE(result == 0 || result == 4) << cut << " gave " << result;
  }
}

}  // namespace
