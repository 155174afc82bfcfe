// Look-up by ID, the ID order, the bounding-box job and concurrent first access.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>

#include "ParticleTestSupport.h"
#include "ThreadPerJobManager.h"
#include "cache/particles/MTComputeParticlesBbox.h"
#include "tools/orv/ParticleChannelEncoder.h"

TEST(ParticleIds, AscendingIdsNeedNoOrder) {
  PGroup group;
  fillIds(group, {5, 9, 12});
  EXPECT_EQ(group.findParticleById(9), 1);
  EXPECT_EQ(group.findParticleById(5), 0);
  EXPECT_EQ(group.findParticleById(12), 2);
  EXPECT_EQ(group.findParticleById(7), -1);
  EXPECT_EQ(group.findParticleById(13), -1);
  EXPECT_TRUE(group.idOrder.empty());
}

TEST(ParticleIds, UnsortedIdsGetAnOrder) {
  PGroup group;
  fillIds(group, {12, 5, 9});
  EXPECT_EQ(group.findParticleById(12), 0);
  ASSERT_EQ(group.idOrder.size(), 3);
  EXPECT_EQ(group.idOrder[0], 1);
  EXPECT_EQ(group.idOrder[1], 2);
  EXPECT_EQ(group.idOrder[2], 0);
  EXPECT_EQ(group.findParticleById(7), -1);
  EXPECT_EQ(group.findParticleById(9), 2);
}

TEST(ParticleIds, WithoutAnIdChannelNothingIsFound) {
  PGroup group;
  group.particleCount = 3;
  EXPECT_EQ(group.findParticleById(0), -1);
}

TEST(ParticleIds, LongUnsortedRangesMergeInIdOrder) {
  std::mt19937 random(7);
  std::vector<long long> ids(1000);
  for (size_t i = 0; i < ids.size(); ++i) ids[i] = static_cast<long long>(i) * 3 - 1500;
  std::shuffle(ids.begin(), ids.end(), random);
  PGroup group;
  fillIds(group, ids);
  for (size_t i = 0; i < ids.size(); ++i) ASSERT_EQ(group.findParticleById(ids[i]), static_cast<int>(i));
  EXPECT_EQ(group.findParticleById(-1499), -1);
  ASSERT_EQ(group.idOrder.size(), 1000);
  for (int k = 1; k < 1000; ++k) ASSERT_LT(ids[group.idOrder[k - 1]], ids[group.idOrder[k]]);
}

TEST(ParticleIds, EqualIdsKeepTheirFirstHalfFirst) {
  // Merging takes from the second half only when strictly smaller: equal IDs keep their order.
  std::vector<long long> ids = {4, 4, 4, 4, 4, 4, 4, 1, 4, 4, 4, 4, 4};
  PGroup group;
  fillIds(group, ids);
  ASSERT_TRUE(group.buildIdOrder());
  ASSERT_EQ(group.idOrder.size(), 13);
  EXPECT_EQ(group.idOrder[0], 7);
  for (int k = 1; k < 13; ++k) EXPECT_EQ(ids[group.idOrder[k]], 4);
}

TEST(ParticleIds, ConcurrentLookupsShareOneOrder) {
  std::vector<long long> ids(5000);
  for (size_t i = 0; i < ids.size(); ++i) ids[i] = static_cast<long long>((i * 7919) % ids.size());
  PGroup group;
  fillIds(group, ids);
  std::vector<int> wrong(8, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (size_t i = t; i < ids.size(); i += 8) {
        if (group.findParticleById(ids[i]) != static_cast<int>(i)) ++wrong[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < 8; ++t) EXPECT_EQ(wrong[t], 0);
}

TEST(ParticleChannelDecoding, ConcurrentFirstReadsDecodeOnce) {
  const int particles = 4096;
  std::vector<float> values(particles);
  for (int i = 0; i < particles; ++i) values[i] = static_cast<float>(i) * 0.5f;
  PGroup group;
  group.particleCount = particles;
  storeChannel(group, 2, 2, rawFloatStream(values));
  std::vector<const void*> seen(8);
  std::vector<int> wrong(8, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      seen[t] = group.channelData(0, 2);
      for (int i = 0; i < particles; ++i) {
        float out = -1;
        if (!group.getParticle(i, 2, &out) || out != values[i]) ++wrong[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < 8; ++t) {
    EXPECT_EQ(wrong[t], 0);
    EXPECT_EQ(seen[t], seen[0]) << "every thread sees the one decoded array";
  }
  EXPECT_NE(seen[0], nullptr);
}

TEST(ParticleBoundingBox, BadPositionsStayOutside) {
  PGroup group;
  group.particleCount = 4;
  const std::vector<float> positions = {1, 2, 3, 50000, 50000, 0, 90000, -90000, 5, -4, 7, -1};
  ASSERT_TRUE(group.setChannelData(0, positions.data(), -1));
  MTComputeParticlesBbox job;
  KUtils::Box box = KUtils::EmptyBox();
  int bad = -1;
  ASSERT_TRUE(job.run(group, box, bad));
  EXPECT_EQ(bad, 1);
  EXPECT_EQ(box.min[0], -4.0f);
  EXPECT_EQ(box.min[1], -90000.0f);
  EXPECT_EQ(box.min[2], -1.0f);
  EXPECT_EQ(box.max[0], 90000.0f);
  EXPECT_EQ(box.max[1], 7.0f);
  EXPECT_EQ(box.max[2], 5.0f);
}

TEST(ParticleBoundingBox, NonFiniteSumsAreBad) {
  PGroup group;
  group.particleCount = 2;
  const float inf = std::numeric_limits<float>::infinity();
  const std::vector<float> positions = {inf, 0, 0, 1, 1, 1};
  ASSERT_TRUE(group.setChannelData(0, positions.data(), -1));
  MTComputeParticlesBbox job;
  KUtils::Box box = KUtils::EmptyBox();
  int bad = 0;
  ASSERT_TRUE(job.run(group, box, bad));
  EXPECT_EQ(bad, 1);
  EXPECT_EQ(box.max[0], 1.0f);
}

TEST(ParticleParallelJobs, BitPlanesAndBoxesAgreeAcrossWorkers) {
  const int particles = 1000;
  std::mt19937 random(11);
  std::vector<unsigned int> words(particles * 3);
  for (unsigned int& w : words) w = random();
  std::vector<float> positions(particles * 3);
  for (int i = 0; i < particles * 3; ++i) positions[i] = static_cast<float>(i % 977) - 400.0f;
  ParticleChannelEncoding bitPlanes;
  bitPlanes.method = 4;
  std::vector<char> stored;
  ASSERT_TRUE(EncodeParticleChannel(bitPlanes, 4, words.data(), particles, stored));

  KUtils::Box serialBox = KUtils::EmptyBox();
  int serialBad = 0;
  {
    PGroup group;
    group.particleCount = particles;
    ASSERT_TRUE(group.setChannelData(0, positions.data(), -1));
    MTComputeParticlesBbox job;
    ASSERT_TRUE(job.run(group, serialBox, serialBad));
  }
  // The lifetime of the manager encloses every job that runs on it.
  ThreadPerJobManager manager;
  PGroup group;
  group.particleCount = particles;
  ASSERT_TRUE(group.setChannelData(0, positions.data(), -1));
  storeChannel(group, 4, 4, stored);
  {
    MTComputeParticlesBbox job;
    KUtils::Box box = KUtils::EmptyBox();
    int bad = -1;
    ASSERT_TRUE(job.run(group, box, bad));
    EXPECT_GT(job.jobCount, 0);
    EXPECT_EQ(bad, serialBad);
    for (int a = 0; a < 3; ++a) {
      EXPECT_EQ(box.min[a], serialBox.min[a]);
      EXPECT_EQ(box.max[a], serialBox.max[a]);
    }
  }
  for (int i = 0; i < particles; ++i) {
    unsigned int out[3];
    ASSERT_EQ(group.getParticle(i, 4, reinterpret_cast<float*>(out)), 1);
    ASSERT_EQ(std::vector<unsigned int>(out, out + 3),
              std::vector<unsigned int>(words.begin() + i * 3, words.begin() + i * 3 + 3));
  }
}
