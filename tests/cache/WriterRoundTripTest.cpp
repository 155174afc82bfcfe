// Frames written by the .orv writer read back with every value they were written with: each
// format version, each grid stream kind, the packed colour channel, every header block and chunk,
// and particle groups in each of their three stored forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

#include "WrittenFrames.h"

namespace {

using namespace written;

constexpr int kSize[3] = {7, 5, 4};
constexpr long long kVoxels = 7 * 5 * 4;

class GridStreams : public ::testing::TestWithParam<std::tuple<int, GridStreamKind>> {};

TEST_P(GridStreams, DecodeToTheWrittenValues) {
  const int version = std::get<0>(GetParam());
  const GridStreamKind kind = std::get<1>(GetParam());
  Frame description = gridFrame(version, kSize[0], kSize[1], kSize[2]);
  const std::vector<float> smoke = field(kSize);
  const std::vector<float> fuel(kVoxels, kind == GridStreamKind::Constant ? 0.75f : 0.0f);
  GridChannel stored = channel(2, smoke, kind);
  stored.zoneCount = 3;
  stored.quantiseZones = true;
  if (kind == GridStreamKind::Constant) stored = channel(2, fuel, kind);
  description.channels.push_back(stored);
  // A second record behind the first: the search must step over the first one.
  description.channels.push_back(channel(10, fuel));

  CorvaneFrameData frame;
  ASSERT_EQ(load(frame, description), 0);
  EXPECT_EQ(frame.formatVersion, version);
  EXPECT_EQ(frame.hasChannel(2), 1);
  EXPECT_EQ(frame.hasChannel(10), 1);
  const float* values = frame.getChannel(2);
  ASSERT_NE(values, nullptr);
  const std::vector<float>& want = kind == GridStreamKind::Constant ? fuel : smoke;
  const bool quantised = kind != GridStreamKind::Raw && kind != GridStreamKind::Constant;
  const float range = *std::max_element(want.begin(), want.end()) -
                      *std::min_element(want.begin(), want.end());
  const float step = quantised ? range / 4096.0f : 0.0f;
  for (long long c = 0; c < kVoxels; ++c) ASSERT_NEAR(values[c], want[c], step) << c;
  const float* second = frame.getChannel(10);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(std::memcmp(second, fuel.data(), 4 * kVoxels), 0);
  EXPECT_EQ(frame.getChannel(1), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    EveryVersionAndKind, GridStreams,
    ::testing::Combine(::testing::Values(2, 3, 4, 5, 6),
                       ::testing::Values(GridStreamKind::Raw, GridStreamKind::Constant,
                                         GridStreamKind::Quantised, GridStreamKind::Zoned,
                                         GridStreamKind::ZonedAlt)));

TEST(GridChannelsRoundTrip, RawZonesOfAZonedStreamAreExact) {
  for (int version : {4, 5}) {
    Frame description = gridFrame(version, kSize[0], kSize[1], kSize[2]);
    GridChannel stored = channel(1, field(kSize, 3.5f), GridStreamKind::ZonedAlt);
    stored.zoneCount = 4;
    description.channels.push_back(stored);
    CorvaneFrameData frame;
    ASSERT_EQ(load(frame, description), 0);
    const float* values = frame.getChannel(1);
    ASSERT_NE(values, nullptr);
    EXPECT_EQ(std::memcmp(values, stored.values.data(), 4 * kVoxels), 0) << version;
  }
}

// A stream that holds fewer values than the grid: the cells it does not reach read as 0,
// whatever the memory held before (the heap block freed just before is the one the channel gets).
TEST(GridChannelsRoundTrip, CellsAShortStreamDoesNotReachReadAsZero) {
  constexpr int kShort = 9;
  for (int version : {4, 6}) {
    Frame description = gridFrame(version, kSize[0], kSize[1], kSize[2]);
    const std::vector<float> values = field(kSize, 2.0f);
    description.channels.push_back(channel(2, values));
    Layout layout;
    std::vector<char> bytes = bytesOf(description, &layout);
    // The raw zone's count, after the record's id and length and the zone's magic and method.
    patch(bytes, layout.streamOffset + 8 + 3, static_cast<int>(kVoxels - kShort));
    CorvaneFrameData frame;
    ASSERT_EQ(load(frame, bytes), 0);
    { std::vector<float> stale(kVoxels + 4, 7.0f); }
    const float* smoke = frame.getChannel(2);
    ASSERT_NE(smoke, nullptr);
    EXPECT_EQ(std::memcmp(smoke, values.data(), (kVoxels - kShort) * 4), 0);
    for (long long c = kVoxels - kShort; c < kVoxels; ++c) EXPECT_EQ(smoke[c], 0.0f) << c;
  }
}

TEST(GridChannelsRoundTrip, PackedColourSplitsIntoUnitComponents) {
  Frame description = gridFrame(6, kSize[0], kSize[1], kSize[2]);
  GridChannel colour;
  colour.id = 18;
  for (long long c = 0; c < kVoxels; ++c) {
    colour.packed.push_back(static_cast<unsigned>((255 - c) << 16 | (c * 3 % 256) << 8 | c));
  }
  description.channels.push_back(colour);
  CorvaneFrameData frame;
  ASSERT_EQ(load(frame, description), 0);
  EXPECT_EQ(frame.hasChannel(18), 0);
  EXPECT_EQ(frame.hasChannel(8), 1);
  const float* green = frame.getChannel(8);
  const float* red = frame.getChannel(7);
  const float* blue = frame.getChannel(9);
  ASSERT_TRUE(red && green && blue);
  for (long long c = 0; c < kVoxels; ++c) {
    const unsigned w = colour.packed[c];
    EXPECT_FLOAT_EQ(red[c], static_cast<float>((w >> 16) & 255) * 0.003921569f);
    EXPECT_FLOAT_EQ(green[c], static_cast<float>((w >> 8) & 255) * 0.003921569f);
    EXPECT_FLOAT_EQ(blue[c], static_cast<float>(w & 255) * 0.003921569f);
  }
  // Asking for the packed channel afterwards neither decodes it again nor moves the components.
  EXPECT_EQ(frame.getChannel(18), nullptr);
  EXPECT_EQ(frame.getChannel(7), red);
  EXPECT_EQ(frame.getChannel(8), green);
}

TEST(GridChannelsRoundTrip, DirectPackedRequestFillsTheComponents) {
  Frame description = gridFrame(5, 2, 2, 1);
  GridChannel colour;
  colour.id = 18;
  colour.packed = {0xFF8000u, 0x000000u, 0x0000FFu, 0x123456u};
  description.channels.push_back(colour);
  CorvaneFrameData frame;
  ASSERT_EQ(load(frame, description), 0);
  EXPECT_EQ(frame.getChannel(18), nullptr);  // split at once and freed
  const float* red = frame.getChannel(7);
  const float* green = frame.getChannel(8);
  ASSERT_TRUE(red && green);
  EXPECT_FLOAT_EQ(red[0], 1.0f);
  EXPECT_FLOAT_EQ(green[0], 0.5019608f);
  EXPECT_FLOAT_EQ(frame.getChannel(9)[2], 1.0f);
}

// A frame storing green (8) beside the packed colour: green always reads as stored, red and blue
// from the packed words, in any order of requests, and an array once handed out stays valid and
// unchanged (the sanitizer build sees any use after free).
TEST(GridChannelsRoundTrip, AStoredComponentBesideThePackedColourKeepsItsArray) {
  Frame description = gridFrame(6, 2, 2, 1);
  GridChannel colour;
  colour.id = 18;
  colour.packed = {0xFF8000u, 0x000000u, 0x0000FFu, 0x123456u};
  description.channels.push_back(colour);
  description.channels.push_back(channel(8, {0.25f, 0.5f, 0.75f, 1.0f}));
  const std::vector<std::vector<int>> orders = {{8, 7, 9, 18}, {7, 8, 9}, {18, 8, 7}, {9, 18, 8}};
  for (const std::vector<int>& order : orders) {
    CorvaneFrameData frame;
    ASSERT_EQ(load(frame, description), 0);
    const float* handed[32] = {};
    for (int id : order) {
      handed[id] = frame.getChannel(id);
      for (int earlier : order) {
        if (!handed[earlier] || earlier == id) continue;
        EXPECT_EQ(frame.getChannel(earlier), handed[earlier]) << earlier << " after " << id;
      }
    }
    ASSERT_TRUE(frame.getChannel(7) && frame.getChannel(8) && frame.getChannel(9));
    EXPECT_EQ(frame.getChannel(8)[1], 0.5f);
    EXPECT_FLOAT_EQ(frame.getChannel(7)[0], 1.0f);
    EXPECT_FLOAT_EQ(frame.getChannel(9)[2], 1.0f);
    EXPECT_EQ(frame.getChannel(18), nullptr);
  }
}

TEST(GridChannelsRoundTrip, SpeedIsDerivedFromStoredVelocity) {
  Frame description = gridFrame(6, kSize[0], kSize[1], kSize[2]);
  for (int id = 4; id <= 6; ++id) description.channels.push_back(channel(id, field(kSize, id - 3.0f)));
  CorvaneFrameData frame;
  ASSERT_EQ(load(frame, description), 0);
  EXPECT_EQ(frame.hasChannel(3), 1);
  const float* speed = frame.getChannel(3);
  ASSERT_NE(speed, nullptr);
  const float *vx = frame.getChannel(4), *vy = frame.getChannel(5), *vz = frame.getChannel(6);
  for (long long c = 0; c < kVoxels; ++c) {
    EXPECT_FLOAT_EQ(speed[c], std::sqrt(vy[c] * vy[c] + vx[c] * vx[c] + vz[c] * vz[c]));
  }

  description.channels.pop_back();
  CorvaneFrameData partial;
  ASSERT_EQ(load(partial, description), 0);
  EXPECT_EQ(partial.hasChannel(3), 0);
  EXPECT_EQ(partial.getChannel(3), nullptr);
}

TEST(HeaderBlocksRoundTrip, EveryBlockLandsInItsField) {
  Frame description = gridFrame(6, 3, 2, 1);
  description.transform = {2, 0, 0, 0, 3, 0, 0, 0, 4, 1, 2, 3};
  description.channelMask = 0x80000016u;
  description.frameNumber = 42;
  description.timeStep = 0.04f;
  description.transformA = std::array<float, 12>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  description.block8 = 2.5f;
  description.block9 = std::make_pair(77, 0.125f);
  SimulationTransforms transforms;
  for (int e = 0; e < 12; ++e) {
    transforms.a[e] = e + 0.5f;
    transforms.b[e] = -e;
    transforms.c[e] = 2.0f * e;
  }
  transforms.tail = {1, 2, 3, 4, 5, 6, 7, 8};
  description.block11 = transforms;
  std::vector<char> header(400);
  for (size_t b = 0; b < header.size(); ++b) header[b] = static_cast<char>(b * 7);
  description.simulationHeader = header;
  // Block 10 follows block 12 here, so its doubles overwrite bytes 8..23 of the copied header.
  ByteSink extra(description.extraHeaderBytes);
  extra.i32(10);
  extra.f64(6.25);
  extra.f64(-1.5);
  extra.i32(4);  // a repeated tag keeps the last value
  extra.i32(43);

  CorvaneFrameData frame;
  ASSERT_EQ(load(frame, description), 0);
  int size[3];
  frame.getGridSize(size);
  EXPECT_EQ(size[0], 3);
  EXPECT_EQ(size[2], 1);
  float transform[12];
  frame.getTransform(transform);
  EXPECT_EQ(std::memcmp(transform, description.transform.data(), sizeof transform), 0);
  EXPECT_EQ(frame.channelMask, 0x80000016u);
  EXPECT_EQ(frame.flags & 1u, 1u);
  EXPECT_EQ(frame.hasChannel(31), 0);  // bit 31 is a marker, not a channel
  EXPECT_EQ(frame.hasChannel(4), 1);
  EXPECT_EQ(frame.hasChannel(3), 0);   // velocity y and z are missing
  EXPECT_EQ(frame.hasChannel(-1), 0);
  EXPECT_EQ(frame.hasChannel(32), 0);
  EXPECT_EQ(frame.getChannel(-1), nullptr);
  EXPECT_EQ(frame.getChannel(32), nullptr);
  EXPECT_EQ(frame.frameNumber, 43);
  EXPECT_FLOAT_EQ(frame.timeStep, 0.04f);
  EXPECT_EQ(std::memcmp(frame.transformA, transforms.a.data(), 48), 0);  // block 11 came later
  EXPECT_EQ(std::memcmp(frame.transformB, transforms.b.data(), 48), 0);
  EXPECT_EQ(std::memcmp(frame.transformC, transforms.c.data(), 48), 0);
  EXPECT_FLOAT_EQ(frame.headerValue, 0.125f);
  double first, second;
  std::memcpy(&first, frame.simulationHeader + 8, 8);
  std::memcpy(&second, frame.simulationHeader + 16, 8);
  EXPECT_EQ(first, 6.25);
  EXPECT_EQ(second, -1.5);
  EXPECT_EQ(std::memcmp(frame.simulationHeader + 24, header.data() + 24, 392 - 24), 0);
}

TEST(HeaderBlocksRoundTrip, EarlierBlocksFillTheHeaderBytes) {
  Frame description = gridFrame(5, 1, 1, 1);
  description.block8 = 2.5f;
  description.block9 = std::make_pair(77, 0.125f);
  description.transformA = std::array<float, 12>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  CorvaneFrameData frame;
  ASSERT_EQ(load(frame, description), 0);
  double widened;
  std::memcpy(&widened, frame.simulationHeader + 8, 8);
  EXPECT_EQ(widened, 2.5);
  int stored;
  std::memcpy(&stored, frame.simulationHeader + 348, 4);
  EXPECT_EQ(stored, 77);
  EXPECT_EQ(frame.transformA[11], 12.0f);
  EXPECT_FLOAT_EQ(frame.timeStep, 1.0f / 30.0f);  // not written: the reset value
}

TEST(ChunksRoundTrip, TextRangesAndValuesInBothSizeWidths) {
  for (int version : {3, 4, 6}) {
    Frame description = gridFrame(version, 1, 1, 1);
    description.chunkText = "scene notes";
    description.ranges = {{1, -2.0f, 8.0f}, {40, 1.0f, 2.0f}, {2, 0.5f, 0.75f}};
    description.values = {{5, 1ll << 40}, {-3, 9}, {31, -7}};
    RawChunk unknown;
    unknown.id = 1005;
    unknown.payload.assign(10, 'x');
    description.extraChunks.push_back(unknown);
    description.trailingChunks.push_back(RawChunk{1001, {}, std::nullopt});
    ByteSink(description.trailingChunks.back().payload).string("later");
    CorvaneFrameData frame;
    ASSERT_EQ(load(frame, description), 0) << version;
    EXPECT_EQ(frame.chunkText, "later");
    EXPECT_EQ(frame.slots[1].rangeLow, -2.0f);
    EXPECT_EQ(frame.slots[1].rangeHigh, 8.0f);
    EXPECT_EQ(frame.slots[2].rangeLow, 0.5f);
    EXPECT_EQ(frame.channelValues[5], 1ll << 40);
    EXPECT_EQ(frame.channelValues[31], -7);
    EXPECT_EQ(frame.channelValues[0], -1);
  }
}

TEST(ChunksRoundTrip, VersionTwoStopsAfterTheSummary) {
  Frame description = gridFrame(2, 1, 1, 1);
  description.particleLayout = ParticleLayout::UncompressedBlock;
  ParticleGroup group;
  group.name = "sparks";
  group.channels.push_back(FloatChannel(0, {1, 2, 3}));
  description.groups.push_back(group);
  description.chunkText = "before";
  description.trailingChunks.push_back(RawChunk{1001, {}, std::nullopt});
  ByteSink(description.trailingChunks.back().payload).string("after");
  CorvaneFrameData frame;
  ASSERT_EQ(load(frame, description), 0);
  EXPECT_EQ(frame.chunkText, "before");
  ASSERT_EQ(frame.getParticleGroupCount(), 1);
}

TEST(HeaderOnly, ReadsTheDescriptionWithoutBulkData) {
  Frame description = gridFrame(6, kSize[0], kSize[1], kSize[2]);
  description.channels.push_back(channel(1, field(kSize)));
  ParticleGroup group;
  group.name = "smoke";
  group.typeWord = 5;
  group.channels.push_back(FloatChannel(0, {1, 2, 3, 4, 5, 6}, 1));
  description.groups.push_back(group);
  CorvaneFrameData frame;
  ASSERT_EQ(load(frame, description, true), 0);
  EXPECT_EQ(frame.flags & 4u, 4u);
  EXPECT_EQ(frame.gridSize[1], kSize[1]);
  EXPECT_EQ(frame.hasChannel(1), 1);
  EXPECT_EQ(frame.compressedLength, 1);
  EXPECT_EQ(frame.getChannel(1), nullptr);
  // The summary names the group; its channels were skipped with chunk 1002.
  ASSERT_EQ(frame.particleGroups.size(), 1);
  EXPECT_STREQ(frame.particleGroups[0].getName(), "smoke");
  EXPECT_EQ(frame.particleGroups[0].particleCount, 2);
  EXPECT_EQ(frame.particleGroups[0].channelMask, 1);
  EXPECT_EQ(frame.getParticleGroupCount(), 0);
  EXPECT_EQ(frame.particleBox.max[2], 6.0f);
}

TEST(HeaderOnly, OlderBlocksWithASummarySkipTheirWordsAndIdBlocks) {
  Frame description = gridFrame(6, 1, 1, 1);
  description.particleLayout = ParticleLayout::UncompressedBlock;
  ParticleGroup group;
  group.name = "old";
  group.channels.push_back(FloatChannel(0, {1, 2, 3, 4, 5, 6}));
  group.idBlock = {4, 2};
  group.typeWord = 9;
  description.groups.push_back(group);
  CorvaneFrameData frame;
  ASSERT_EQ(load(frame, description, true), 0);
  ASSERT_EQ(frame.particleGroups.size(), 1);
  const PGroup& loaded = frame.particleGroups[0];
  EXPECT_EQ(loaded.particleCount, 2);
  EXPECT_EQ(loaded.typeWord, 9);
  EXPECT_FALSE(loaded.slots[0].present());
  EXPECT_FALSE(loaded.slots[10].present());
  // Without the summary the words are needed for the box, so they are read.
  description.writeSummary = false;
  CorvaneFrameData unsummarised;
  ASSERT_EQ(load(unsummarised, description, true), 0);
  EXPECT_TRUE(unsummarised.particleGroups[0].slots[0].present());
  EXPECT_FALSE(unsummarised.particleGroups[0].slots[10].present());
  EXPECT_EQ(unsummarised.particleBox.max[2], 6.0f);
}

// Particle groups ------------------------------------------------------------------------------

std::vector<float> positions(int n) {
  std::vector<float> p;
  for (int i = 0; i < n; ++i) {
    p.push_back(0.5f * i);
    p.push_back(1.0f + i % 3);
    p.push_back(-0.25f * i);
  }
  return p;
}

ParticleGroup groupOf(const std::string& name, int n, int method) {
  ParticleGroup group;
  group.name = name;
  group.channels.push_back(FloatChannel(0, positions(n), method));
  std::vector<float> temperature;
  for (int i = 0; i < n; ++i) temperature.push_back(300.0f + 7.5f * i);
  group.channels.push_back(FloatChannel(2, temperature, method));
  std::vector<float> vectors;
  for (int i = 0; i < 3 * n; ++i) vectors.push_back(std::sin(0.1f * i));
  group.channels.push_back(FloatChannel(4, vectors, method));
  return group;
}

void expectChannel(ICorvanePrtGroup* group, int channel, const std::vector<char>& want) {
  const int bytes = group->getChannelByteSize(channel);
  ASSERT_GT(bytes, 0);
  std::vector<char> got(bytes);
  for (size_t p = 0; p < want.size() / bytes; ++p) {
    ASSERT_EQ(group->getParticle(static_cast<unsigned>(p), channel,
                                 reinterpret_cast<float*>(got.data())), 1) << p;
    ASSERT_EQ(std::memcmp(got.data(), want.data() + p * bytes, bytes), 0)
        << "channel " << channel << " particle " << p;
  }
  EXPECT_EQ(group->getParticle(static_cast<unsigned>(want.size() / bytes), channel,
                               reinterpret_cast<float*>(got.data())), 0);
}

class ChunkMethods : public ::testing::TestWithParam<int> {};

TEST_P(ChunkMethods, EveryChannelDecodesToTheWrittenValues) {
  const int method = GetParam();
  Frame description = gridFrame(6, 1, 1, 1);
  // 37 particles: the bit-plane layout needs a partly filled second block.
  ParticleGroup group = groupOf("fire", 37, method);
  std::vector<long long> ids;
  for (int i = 0; i < 37; ++i) ids.push_back((i * 7919ll) % 101 + (1ll << 35));
  group.channels.push_back(IdChannel(ids, method == 2 || method == 3 ? 0 : method));
  group.groupValue = {9, 8, 7, 6, 5, 4, 3, 2};
  group.typeWord = 0x123;
  description.groups.push_back(group);
  CorvaneFrameData frame;
  ASSERT_EQ(load(frame, description), 0);
  ASSERT_EQ(frame.getParticleGroupCount(), 1);
  ICorvanePrtGroup* loaded = frame.getParticleGroup(0);
  EXPECT_STREQ(loaded->getName(), "fire");
  EXPECT_EQ(loaded->getParticleCount(), 37);
  for (const ParticleChannel& c : group.channels) expectChannel(loaded, c.channel, c.data);
  const PGroup& stored = frame.particleGroups[0];
  EXPECT_EQ(stored.typeWord, 0x123);
  EXPECT_EQ(stored.groupValue[0], 9);
  EXPECT_EQ(stored.channelMask, (1 << 0) | (1 << 2) | (1 << 4) | (1 << 10));
  for (int i = 0; i < 37; ++i) EXPECT_EQ(ids[loaded->findParticleById(ids[i])], ids[i]);
  EXPECT_EQ(loaded->findParticleById(5), -1);
}

INSTANTIATE_TEST_SUITE_P(Methods0To4, ChunkMethods, ::testing::Values(0, 1, 2, 3, 4));

TEST(ParticleChunks, QuantisedMethodsStayWithinTheirStep) {
  for (int method : {2, 3}) {
    Frame description = gridFrame(6, 1, 1, 1);
    ParticleGroup group = groupOf("q", 50, method);
    for (ParticleChannel& c : group.channels) c.encoding.precisionBits = 10;
    description.groups.push_back(group);
    CorvaneFrameData frame;
    ASSERT_EQ(load(frame, description), 0);
    ICorvanePrtGroup* loaded = frame.getParticleGroup(0);
    ASSERT_NE(loaded, nullptr);
    const std::vector<float> want = positions(50);
    float p[3];
    for (int i = 0; i < 50; ++i) {
      ASSERT_EQ(loaded->getParticle(i, 0, p), 1);
      for (int a = 0; a < 3; ++a) EXPECT_NEAR(p[a], want[3 * i + a], 40.0f / 1024) << method;
    }
  }
}

TEST(ParticleChunks, GroupsWithoutPositionsAreNotCountedButFound) {
  Frame description = gridFrame(6, 1, 1, 1);
  ParticleGroup empty;
  empty.name = "a";
  empty.particleCount = 4;
  empty.channels.push_back(FloatChannel(2, {1, 2, 3, 4}));
  description.groups.push_back(empty);
  description.groups.push_back(groupOf("b", 3, 0));
  CorvaneFrameData frame;
  ASSERT_EQ(load(frame, description), 0);
  EXPECT_EQ(frame.getParticleGroupCount(), 1);
  EXPECT_STREQ(frame.getParticleGroup(0)->getName(), "b");
  EXPECT_EQ(frame.getParticleGroup(1), nullptr);
  ASSERT_NE(frame.findParticleGroup("a"), nullptr);
  EXPECT_EQ(frame.findParticleGroup("a")->getParticleCount(), 0);
  EXPECT_EQ(frame.findParticleGroup("B"), nullptr);
}

class OlderBlocks : public ::testing::TestWithParam<ParticleLayout> {};

TEST_P(OlderBlocks, ChannelsAndIdBlocksRoundTrip) {
  Frame description = gridFrame(4, 1, 1, 1);
  description.particleLayout = GetParam();
  description.writeSummary = false;
  ParticleGroup ascending = groupOf("ascending", 40, 0);
  for (int i = 0; i < 40; ++i) ascending.idBlock.push_back(1000 + 3 * i);
  ascending.typeWord = 7;
  ParticleGroup unsorted = groupOf("unsorted", 9, 0);
  unsorted.idBlock = {12, 5, 9, -4, 1ll << 40, 6, 7, 100, 99};
  unsorted.groupValue = {1, 1, 2, 3, 5, 8, 13, 21};
  description.groups = {ascending, unsorted};
  CorvaneFrameData frame;
  ASSERT_EQ(load(frame, description), 0);
  ASSERT_EQ(frame.getParticleGroupCount(), 2);
  for (int g = 0; g < 2; ++g) {
    ICorvanePrtGroup* loaded = frame.getParticleGroup(g);
    const ParticleGroup& want = description.groups[g];
    for (const ParticleChannel& c : want.channels) expectChannel(loaded, c.channel, c.data);
    for (size_t i = 0; i < want.idBlock.size(); ++i) {
      EXPECT_EQ(loaded->findParticleById(want.idBlock[i]), static_cast<int>(i));
    }
    EXPECT_EQ(loaded->findParticleById(2), -1);
  }
  EXPECT_EQ(frame.particleGroups[0].typeWord, 7);
  EXPECT_TRUE(frame.particleGroups[0].idOrder.empty());
  const PGroup& sorted = frame.particleGroups[1];
  ASSERT_EQ(sorted.idOrder.size(), 9);
  EXPECT_EQ(sorted.idOrder[0], 3);  // the smallest ID, -4
  EXPECT_EQ(sorted.groupValue[7], 21);
  // Without a summary the box grows from the positions of both groups.
  EXPECT_EQ(frame.particleBox.min[2], -0.25f * 39);
  EXPECT_EQ(frame.particleBox.max[0], 0.5f * 39);
}

INSTANTIATE_TEST_SUITE_P(Blocks7And13, OlderBlocks,
                         ::testing::Values(ParticleLayout::UncompressedBlock,
                                           ParticleLayout::CompressedBlock));

TEST(OlderBlocksBox, BadParticlesAreLoggedAndLeftOut) {
  Frame description = gridFrame(3, 1, 1, 1);
  description.particleLayout = ParticleLayout::UncompressedBlock;
  description.writeSummary = false;
  ParticleGroup group;
  group.name = "wild";
  group.channels.push_back(FloatChannel(0, {50000, 50000, 0, 90000, -90000, 5, 1, 2, 3}));
  description.groups.push_back(group);
  LogCapture log;
  CorvaneFrameData frame;
  ASSERT_EQ(load(frame, description), 0);
  EXPECT_TRUE(log.contains("#bad particles found in group wild, count:1\n"));
  EXPECT_EQ(frame.particleBox.max[0], 90000.0f);
  EXPECT_EQ(frame.particleBox.min[1], -90000.0f);
  EXPECT_EQ(frame.particleBox.min[0], 1.0f);
}

TEST(OlderBlocksBox, ASummaryBoxIsKept) {
  Frame description = gridFrame(6, 1, 1, 1);
  description.particleLayout = ParticleLayout::CompressedBlock;
  description.groups.push_back(groupOf("g", 5, 0));
  description.summaryBox = KUtils::Box{{-1, -2, -3}, {4, 5, 6}};
  CorvaneFrameData frame;
  ASSERT_EQ(load(frame, description), 0);
  EXPECT_EQ(frame.particleBox.min[1], -2.0f);
  EXPECT_EQ(frame.particleBox.max[2], 6.0f);
  ASSERT_EQ(frame.getParticleGroupCount(), 1);
}

// Grid-bound groups take their missing velocity from the velocity grid at each position.
TEST(GridVelocity, SampledForGridBoundGroupsOnly) {
  Frame description = gridFrame(6, 4, 4, 4);
  const int size[3] = {4, 4, 4};
  for (int id = 4; id <= 6; ++id) description.channels.push_back(channel(id, field(size, id - 3.0f)));
  ParticleGroup bound;
  bound.name = "bound";
  bound.typeWord = 0x30000;
  bound.channels.push_back(FloatChannel(0, {1.5f, 2.25f, 0.5f, -1.0f, 0.5f, 2.0f, 3.7f, 3.0f, 3.0f}));
  ParticleGroup loose = bound;
  loose.name = "loose";
  loose.typeWord = 0;
  description.groups = {bound, loose};
  CorvaneFrameData frame;
  ASSERT_EQ(load(frame, description), 0);
  ICorvanePrtGroup* grid = frame.findParticleGroup("bound");
  ICorvanePrtGroup* other = frame.findParticleGroup("loose");
  EXPECT_EQ(grid->hasChannel(1), 1);
  EXPECT_EQ(other->hasChannel(1), 0);
  for (unsigned p = 0; p < 3; ++p) {
    float position[3], velocity[3], sampled[3];
    ASSERT_EQ(grid->getParticle(p, 0, position), 1);
    ASSERT_EQ(grid->getParticle(p, 1, velocity), 1);
    ASSERT_EQ(frame.sampleChannels(4, position, sampled, 3), 1);
    for (int a = 0; a < 3; ++a) EXPECT_EQ(velocity[a], sampled[a]) << p;
    EXPECT_EQ(other->getParticle(p, 1, velocity), 0);
  }
  // Cell (1, 2, 0) blended with its neighbours: x = 1.5 halfway, y = 2.25, z = 0.5.
  float velocity[3];
  grid->getParticle(0, 1, velocity);
  const std::vector<float> vx = field(size, 1.0f);
  auto at = [&](int i, int j, int k) { return vx[i + 4 * (j + 4 * k)]; };
  float expected = 0;
  for (int di = 0; di < 2; ++di)
    for (int dj = 0; dj < 2; ++dj)
      for (int dk = 0; dk < 2; ++dk)
        expected += at(1 + di, 2 + dj, dk) * 0.5f * (dj ? 0.25f : 0.75f) * 0.5f;
  EXPECT_NEAR(velocity[0], expected, 1e-5f);
}

TEST(GridVelocity, MissingVelocityGridGivesNoValue) {
  Frame description = gridFrame(6, 4, 4, 4);
  const int size[3] = {4, 4, 4};
  description.channels.push_back(channel(4, field(size)));
  description.channels.push_back(channel(5, field(size)));
  ParticleGroup bound;
  bound.name = "bound";
  bound.typeWord = 0x30000;
  bound.channels.push_back(FloatChannel(0, {1, 1, 1}));
  description.groups = {bound};
  CorvaneFrameData frame;
  ASSERT_EQ(load(frame, description), 0);
  ICorvanePrtGroup* group = frame.getParticleGroup(0);
  EXPECT_EQ(group->hasChannel(1), 1);  // the frame reports velocity x
  float velocity[3] = {9, 9, 9};
  EXPECT_EQ(group->getParticle(0, 1, velocity), 0);
}

}  // namespace
