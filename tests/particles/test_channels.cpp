// Channel table, channel storage and decoding of every compression method.
#include <gtest/gtest.h>
#include <zlib.h>

#include <memory>
#include <random>

#include "ParticleTestSupport.h"
#include "ThreadPerJobManager.h"
#include "tools/codec/ReferenceDecoders.h"
#include "tools/orv/ParticleChannelEncoder.h"

namespace {

std::vector<char> zipped(const std::vector<char>& raw) {
  uLongf length = compressBound(raw.size());
  std::vector<char> out(length);
  EXPECT_EQ(compress(reinterpret_cast<Bytef*>(out.data()), &length,
                     reinterpret_cast<const Bytef*>(raw.data()), raw.size()),
            Z_OK);
  out.resize(length);
  return out;
}

std::vector<float> randomFloats(size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> value(-1000.0f, 1000.0f);
  std::vector<float> out(count);
  for (float& v : out) v = value(random);
  return out;
}

std::vector<char> decodedBytes(PGroup& group, int channel) {
  std::vector<char> out;
  const int bytes = group.getChannelByteSize(channel);
  std::vector<char> one(static_cast<size_t>(bytes));
  for (int i = 0; i < group.particleCount; ++i) {
    if (!group.getParticle(static_cast<unsigned>(i), channel, reinterpret_cast<float*>(one.data()))) {
      ADD_FAILURE() << "particle " << i << " of channel " << channel << " unavailable";
      return out;
    }
    out.insert(out.end(), one.begin(), one.end());
  }
  return out;
}

}  // namespace

TEST(ParticleChannelTable, ReportsWidthTypeAndComponents) {
  PGroup group;
  EXPECT_EQ(group.getChannelByteSize(10), 8);
  EXPECT_EQ(group.getChannelComponents(10), 1);
  EXPECT_EQ(group.getChannelType(10), 7);
  for (int c = 6; c <= 8; ++c) {
    EXPECT_EQ(group.getChannelByteSize(c), 0);
    EXPECT_EQ(group.getChannelType(c), 0);
    EXPECT_EQ(group.getChannelComponents(c), 0);
  }
  EXPECT_EQ(group.getChannelByteSize(0), 12);
  EXPECT_EQ(group.getChannelComponents(4), 3);
  EXPECT_EQ(group.getChannelType(12), 6);
  EXPECT_EQ(group.getChannelType(20), 0);
  EXPECT_EQ(group.getChannelComponents(20), 1);
  EXPECT_EQ(group.getChannelByteSize(-1), 0);
  EXPECT_EQ(group.getChannelByteSize(32), 0);
  EXPECT_EQ(group.hasChannel(32), 0);
}

TEST(ParticleGroup, CountsParticlesOnlyWithPositions) {
  PGroup group;
  group.particleCount = 5;
  EXPECT_EQ(group.getParticleCount(), 0);
  std::vector<float> positions(15, 1.0f);
  ASSERT_TRUE(group.setChannelData(0, positions.data(), -1));
  EXPECT_EQ(group.getParticleCount(), 5);
  EXPECT_TRUE(group.setName("smoke", 5));
  EXPECT_STREQ(group.getName(), "smoke");
}

TEST(ParticleGroup, SetChannelDataChecksTheSize) {
  PGroup group;
  group.particleCount = 2;
  std::vector<float> values(6, 2.0f);
  EXPECT_FALSE(group.setChannelData(0, values.data(), 20));
  EXPECT_TRUE(group.setChannelData(0, values.data(), 24));
  EXPECT_EQ(group.slots[0].data.capacity, 24);
  group.particleCount = -1;
  EXPECT_EQ(group.prepareChannelData(1), nullptr);
  float out[3];
  EXPECT_EQ(group.getParticle(2, 0, out), 0) << "index past the channel";
}

TEST(ParticleChannelDecoding, EveryMethodDecodesToTheWrittenValues) {
  const int particles = 37;  // not a multiple of 32: bit planes carry padding lanes
  const std::vector<float> positions = randomFloats(particles * 3, 1);
  std::vector<long long> ids(particles);
  for (int i = 0; i < particles; ++i) ids[i] = (i * 7919LL) - (1LL << 40);
  for (int method = 0; method <= 4; ++method) {
    SCOPED_TRACE(method);
    PGroup group;
    group.particleCount = particles;
    ParticleChannelEncoding encoding;
    encoding.method = method;
    std::vector<char> stored;
    ASSERT_TRUE(EncodeParticleChannel(encoding, 0, positions.data(), particles, stored));
    storeChannel(group, 0, method, stored);
    ASSERT_TRUE(EncodeParticleChannel(encoding, 10, ids.data(), particles, stored));
    storeChannel(group, 10, method, stored);
    EXPECT_EQ(decodedBytes(group, 0), asBytes(positions));
    EXPECT_EQ(decodedBytes(group, 10), asBytes(ids));
    EXPECT_TRUE(group.slots[0].compressed.empty()) << "compressed bytes released";
    EXPECT_EQ(group.hasChannel(0), 1);
    EXPECT_TRUE(group.decompressChannel(0, true)) << "second call sees the decoded data";
  }
}

TEST(ParticleChannelDecoding, QuantisedStreamStaysWithinItsStep) {
  const int particles = 50;
  const std::vector<float> values = randomFloats(particles, 2);
  PGroup group;
  group.particleCount = particles;
  ParticleChannelEncoding encoding;
  encoding.method = 2;
  encoding.precisionBits = 12;
  std::vector<char> stored;
  ASSERT_TRUE(EncodeParticleChannel(encoding, 2, values.data(), particles, stored));
  storeChannel(group, 2, 2, stored);
  for (int i = 0; i < particles; ++i) {
    float out = 0;
    ASSERT_EQ(group.getParticle(i, 2, &out), 1);
    EXPECT_NEAR(out, values[i], 2000.0f / 4096.0f);
  }
}

TEST(ParticleChannelDecoding, ComponentOrderIsTransposed) {
  PGroup group;
  group.particleCount = 2;
  // x0, x1, y0, y1, z0, z1 -> x0, y0, z0, x1, y1, z1
  storeChannel(group, 4, 3, rawFloatStream({1, 2, 3, 4, 5, 6}));
  float p[3];
  ASSERT_EQ(group.getParticle(0, 4, p), 1);
  EXPECT_EQ(std::vector<float>(p, p + 3), (std::vector<float>{1, 3, 5}));
  ASSERT_EQ(group.getParticle(1, 4, p), 1);
  EXPECT_EQ(std::vector<float>(p, p + 3), (std::vector<float>{2, 4, 6}));
}

TEST(ParticleChannelDecoding, BitPlanesOfTheSecondBlock) {
  // n = 33, w = 1: B = 2, and bit k of particle 32 is bit 0 of word 2k + 1.
  const unsigned int value = 0xA5C30F81u;
  std::vector<unsigned int> planes(64, 0u);
  for (int k = 0; k < 32; ++k) planes[2 * k + 1] = (value >> k) & 1u;
  planes[0] = 1u << 31;  // bit 0 of particle 31
  PGroup group;
  group.particleCount = 33;
  storeChannel(group, 20, 4, zipped(asBytes(planes)));
  unsigned int out = 0;
  ASSERT_EQ(group.getParticle(32, 20, reinterpret_cast<float*>(&out)), 1);
  EXPECT_EQ(out, value);
  ASSERT_EQ(group.getParticle(31, 20, reinterpret_cast<float*>(&out)), 1);
  EXPECT_EQ(out, 1u);
  ASSERT_EQ(group.getParticle(0, 20, reinterpret_cast<float*>(&out)), 1);
  EXPECT_EQ(out, 0u);
}

// Bit planes of random words, particle counts and channel widths, some cut short (the zip block
// ends before the planes do, so the rest read as zero), reassembled on the calling thread and
// on job ranges that cut blocks of 32: the same words as the bit-by-bit reassembly.
TEST(ParticleChannelDecoding, BitPlanesMatchTheBitByBitReassembly) {
  std::mt19937 random(41);
  const int channels[] = {2, 10, 0};  // one, two and three words per particle
  for (int trial = 0; trial < 60; ++trial) {
    const int channel = channels[trial % 3];
    const int words = ParticleChannelWords(channel);
    const long long particles = 1 + random() % 1500;
    const long long blocks = (particles + 31) / 32;
    std::vector<unsigned int> planes(static_cast<size_t>(words * 32 * blocks));
    for (unsigned int& p : planes) p = random();
    std::vector<unsigned int> stored = planes;
    if (trial % 4 == 1) {
      stored.resize(random() % planes.size());
      std::fill(planes.begin() + static_cast<long>(stored.size()), planes.end(), 0u);
    }
    std::vector<unsigned int> expected(static_cast<size_t>(particles * words));
    orv::codectools::ReassembleBitPlanesBitwise(planes.data(), particles, words, 0, particles,
                                                expected.data());
    std::unique_ptr<ThreadPerJobManager> workers(trial % 2 ? new ThreadPerJobManager : nullptr);
    PGroup group;
    group.particleCount = static_cast<int>(particles);
    storeChannel(group, channel, 4, zipped(asBytes(stored)));
    ASSERT_TRUE(group.decompressChannel(channel, true)) << trial;
    ASSERT_EQ(group.slots[channel].data.size(), particles * words * 4) << trial;
    ASSERT_EQ(std::memcmp(group.slots[channel].data.data, expected.data(), expected.size() * 4), 0)
        << trial << ": " << particles << " particles, " << words << " words";
  }
}

TEST(ParticleChannelDecoding, RawBlockKeepsItsStoredLength) {
  PGroup group;
  group.particleCount = 4;
  storeChannel(group, 2, 0, asBytes(std::vector<float>{7, 8}));
  const char* stored = group.slots[2].compressed.data;
  ASSERT_TRUE(group.decompressChannel(2, true));
  EXPECT_EQ(group.slots[2].data.data, stored) << "the stored block is taken over, not copied";
  float out = 0;
  ASSERT_EQ(group.getParticle(1, 2, &out), 1);
  EXPECT_EQ(out, 8.0f);
  EXPECT_EQ(group.slots[2].data.size(), 8);
  EXPECT_EQ(group.getParticle(2, 2, &out), 0) << "no read past the stored block";
}

TEST(ParticleChannelDecoding, FailuresAreReportedAndLeaveTheChannelAbsent) {
  LogCapture log;
  PGroup group;
  group.particleCount = 3;
  std::vector<char> corrupt = zipped(std::vector<char>(3 * 32 * 4, 1));
  corrupt[0] = 0x11;  // zlib header check fails
  storeChannel(group, 5, 4, corrupt);
  float out = 0;
  EXPECT_EQ(group.getParticle(0, 5, &out), 0);
  EXPECT_EQ(group.hasChannel(5), 0);
  const std::vector<std::string> lines = log.lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "[ERROR] Decompressing Zip (-3)\n");
  EXPECT_EQ(lines[1], "Error decompressing particle channel 5 with method 4\n");
  EXPECT_FALSE(group.decompressChannel(5, true));
  EXPECT_EQ(log.lines().back(), "PGroup::decompressChannel failed: no compression data!\n");
}

TEST(ParticleChannelDecoding, UnknownMethodFailsQuietlyAndKeepsTheBytes) {
  LogCapture log;
  PGroup group;
  group.particleCount = 1;
  storeChannel(group, 2, 9, asBytes(std::vector<float>{1}));
  EXPECT_FALSE(group.decompressChannel(2, true));
  EXPECT_TRUE(log.lines().empty());
  EXPECT_TRUE(group.slots[2].data.empty());
  EXPECT_FALSE(group.slots[2].compressed.empty());
  EXPECT_FALSE(group.decompressChannel(2, true)) << "a retry fails again instead of passing";
}

TEST(ParticleChannelDecoding, ImpossibleInflatedSizeIsRejectedBeforeAllocating) {
  LogCapture log;
  PGroup group;
  group.particleCount = 0x7FFFFFFF;  // 24 GiB of positions from a few stored bytes
  storeChannel(group, 0, 1, zipped(std::vector<char>(12, 0)));
  EXPECT_FALSE(group.decompressChannel(0, true));
  EXPECT_EQ(group.hasChannel(0), 0);
  ASSERT_FALSE(log.lines().empty());
  EXPECT_EQ(log.lines().back(), "Error decompressing particle channel 0 with method 1\n");
}

TEST(ParticleChannelDecoding, GroupsSurviveRelocationInTheirArray) {
  CVNUtils::CvnArray<PGroup, int> groups;
  ASSERT_TRUE(groups.SetSize(1));
  groups[0].particleCount = 3;
  storeChannel(groups[0], 2, 2, rawFloatStream({1, 2, 3}));
  float out = 0;
  ASSERT_EQ(groups[0].getParticle(1, 2, &out), 1);
  SGCompressor<1>* decoder = groups[0].decoders[2];
  ASSERT_NE(decoder, nullptr);
  ASSERT_TRUE(groups.SetSize(40));  // relocates the first group by byte copy
  EXPECT_EQ(groups[0].decoders[2], decoder);
  storeChannel(groups[0], 3, 2, rawFloatStream({4, 5, 6}));
  ASSERT_EQ(groups[0].getParticle(2, 3, &out), 1);
  EXPECT_EQ(out, 6.0f);
  EXPECT_EQ(groups[0].getParticle(2, 2, &out), 1);
  EXPECT_EQ(out, 3.0f);
}
