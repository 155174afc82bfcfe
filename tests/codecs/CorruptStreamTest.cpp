// Damaged streams: every decoder stays inside its source bytes and its destination slice.
// The streams are copied into heap blocks of exactly their length, so the sanitizer build
// catches any read past the end.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "codecs/SGCompressor.h"
#include "tools/codec/ReferenceDecoders.h"
#include "tools/codec/StreamWriter.h"
#include "tools/codec/SyntheticFields.h"

namespace {

using namespace orv::codectools;
using Stream = std::vector<char>;

constexpr int kGuard = 16;
constexpr float kGuardValue = -12345.5f;

// A destination of `capacity` floats between two guard bands.
struct GuardedDestination {
  explicit GuardedDestination(long long capacity)
      : capacity(capacity), storage(static_cast<size_t>(capacity) + 2 * kGuard, kGuardValue) {}
  float* values() { return storage.data() + kGuard; }
  bool guardsIntact() const {
    for (int i = 0; i < kGuard; ++i) {
      if (storage[i] != kGuardValue || storage[storage.size() - 1 - i] != kGuardValue) return false;
    }
    return true;
  }
  long long capacity;
  std::vector<float> storage;
};

// Decodes the bytes from an exactly sized heap copy with both forms.
void decodeBothForms(const Stream& bytes, GuardedDestination& destination) {
  std::unique_ptr<unsigned char[]> exact(new unsigned char[bytes.size() ? bytes.size() : 1]);
  std::memcpy(exact.get(), bytes.data(), bytes.size());
  SGCompressor<1> along(-1, nullptr, nullptr);
  SGCompressor<3> box(-1, nullptr, nullptr);
  const int a = along.Decompress(exact.get(), bytes.size(), destination.values(), destination.capacity);
  const int b = box.Decompress(exact.get(), bytes.size(), destination.values(), destination.capacity);
  EXPECT_TRUE(a == 0 || a == 1);
  EXPECT_TRUE(b == 0 || b == 1);
}

std::vector<Stream> sampleStreams(const int dims[3], const std::vector<float>& smoke) {
  const int count = dims[0] * dims[1] * dims[2];
  std::vector<Stream> streams(6);
  ZoneEncoding e;
  e.precisionBits = 8;
  e.predictionOrder = 2;
  EXPECT_TRUE(AppendZoneAlongValues(smoke.data(), count, e, streams[0]));
  EXPECT_TRUE(AppendZoneOverBox(smoke.data(), dims, e, streams[1]));
  EXPECT_TRUE(AppendZonedGrid(smoke.data(), dims, 6, ZoneForm::AlongValues, e, kZonedMagic, streams[2]));
  EXPECT_TRUE(AppendZonedGrid(smoke.data(), dims, 5, ZoneForm::OverBox, e, kZonedMagicAlt, streams[3]));
  e.precisionBits = 32;
  EXPECT_TRUE(AppendZonedGrid(smoke.data(), dims, 4, ZoneForm::AlongValues, e, kZonedMagic, streams[4]));
  std::vector<Stream> zones(2);
  EXPECT_TRUE(AppendConstantZone(0.5f, count / 2, zones[0]));
  EXPECT_TRUE(AppendRawZone(smoke.data(), count / 2, zones[1]));
  EXPECT_TRUE(AppendZonedStream(kZonedMagic, {0, count / 2}, zones, streams[5]));
  return streams;
}

void writeI32(Stream& s, size_t at, int v) {
  if (at + 4 <= s.size()) std::memcpy(s.data() + at, &v, 4);
}

TEST(CorruptStreams, RandomDamageStaysInsideSourceAndDestination) {
  const int dims[3] = {16, 12, 10};
  const long long count = 16 * 12 * 10;
  const std::vector<float> smoke = SmokeField(dims, 2);
  const std::vector<Stream> streams = sampleStreams(dims, smoke);
  std::mt19937 rng(1234);
  const int fieldValues[] = {0, 1, -1, 2, 255, 65535, 1 << 20, 0x7FFFFFFF, static_cast<int>(0x80000000u)};
  for (int trial = 0; trial < 3000; ++trial) {
    Stream s = streams[trial % streams.size()];
    switch (rng() % 4) {
      case 0:  // flipped bytes
        for (int k = 0; k < 1 + static_cast<int>(rng() % 4); ++k) s[rng() % s.size()] ^= static_cast<char>(1 + rng() % 255);
        break;
      case 1:  // truncated
        s.resize(rng() % s.size());
        break;
      case 2:  // a table, count, box or header field set to an extreme value
        writeI32(s, rng() % 64, fieldValues[rng() % (sizeof fieldValues / sizeof fieldValues[0])]);
        break;
      default:  // bytes of the entropy data overwritten with noise
        for (size_t k = s.size() / 2; k < s.size(); k += 1 + rng() % 8) s[k] = static_cast<char>(rng());
        break;
    }
    // Destinations shorter than, equal to and longer than the stream's values.
    GuardedDestination destination(count - 7 + static_cast<long long>(rng() % 15));
    decodeBothForms(s, destination);
    ASSERT_TRUE(destination.guardsIntact()) << "trial " << trial;
  }
}

// Decodes the bytes, from an exactly sized heap copy, into the destination's values.
int decodeExact(const Stream& bytes, bool overBox, GuardedDestination& destination) {
  std::unique_ptr<unsigned char[]> exact(new unsigned char[bytes.size() ? bytes.size() : 1]);
  std::memcpy(exact.get(), bytes.data(), bytes.size());
  return overBox ? SGCompressor<3>(-1, nullptr, nullptr)
                       .Decompress(exact.get(), bytes.size(), destination.values(), destination.capacity)
                 : SGCompressor<1>(-1, nullptr, nullptr)
                       .Decompress(exact.get(), bytes.size(), destination.values(), destination.capacity);
}

// Quantised zones damaged after their header or cut anywhere: the decoder refuses exactly what
// the plain decoder refuses, and what both accept decodes to the same values, alone and as one
// of two zones of a stream, which are decoded side by side: the intact one always decodes.
TEST(CorruptStreams, DamagedZonesAreRefusedAsThePlainDecoderRefusesThem) {
  const int dims[3] = {20, 18, 16};
  const long long count = 20 * 18 * 16;
  const std::vector<float> smoke = SmokeField(dims, 5);
  const std::vector<float> noise = GaussianNoiseField(count, 1.0f, 5);
  std::vector<std::pair<Stream, bool>> zones;  // the stream, and whether it is over a box
  for (int bits : {6, 13, 17}) {
    ZoneEncoding e;
    e.precisionBits = bits;
    e.predictionOrder = bits % 3;
    for (const std::vector<float>* values : {&smoke, &noise}) {
      Stream along, box;
      ASSERT_TRUE(AppendZoneAlongValues(values->data(), static_cast<int>(count), e, along));
      ASSERT_TRUE(AppendZoneOverBox(values->data(), dims, e, box));
      zones.push_back({along, false});
      zones.push_back({box, true});
    }
  }
  std::mt19937 rng(99);
  int accepted = 0, refused = 0;
  for (int trial = 0; trial < 1200; ++trial) {
    const auto& [original, overBox] = zones[trial % zones.size()];
    Stream s = original;
    const size_t header = overBox ? 28 : 20;
    if (trial % 3 == 0) {
      s.resize(rng() % s.size());
    } else {
      for (int k = 0; k < 1 + static_cast<int>(rng() % 3); ++k) {
        s[header + rng() % (s.size() - header)] ^= static_cast<char>(1 + rng() % 255);
      }
    }
    std::vector<float> plain;
    const bool plainOk = DecodeQuantisedZonePlain(s, overBox, plain);
    GuardedDestination destination(count);
    const int fast = decodeExact(s, overBox, destination);
    ASSERT_TRUE(destination.guardsIntact()) << trial;
    ASSERT_EQ(fast == 1, plainOk) << trial;
    if (plainOk) {
      ++accepted;
      ASSERT_EQ(std::memcmp(destination.values(), plain.data(), count * 4), 0) << trial;
    } else {
      ++refused;
    }

    // Beside an intact zone of the same form, first or second.
    const Stream& intact = zones[(trial + 2) % zones.size()].first;
    std::vector<float> intactPlain;
    ASSERT_TRUE(DecodeQuantisedZonePlain(intact, overBox, intactPlain));
    const bool damagedFirst = trial % 2 == 0;
    Stream zoned;
    ASSERT_TRUE(AppendZonedStream(kZonedMagic, {0, count},
                                  damagedFirst ? std::vector<Stream>{s, intact}
                                               : std::vector<Stream>{intact, s},
                                  zoned));
    GuardedDestination both(2 * count);
    ASSERT_EQ(decodeExact(zoned, overBox, both), 1) << trial;
    ASSERT_TRUE(both.guardsIntact()) << trial;
    const float* damagedSlice = both.values() + (damagedFirst ? 0 : count);
    const float* intactSlice = both.values() + (damagedFirst ? count : 0);
    ASSERT_EQ(std::memcmp(intactSlice, intactPlain.data(), count * 4), 0) << trial;
    if (plainOk) {
      ASSERT_EQ(std::memcmp(damagedSlice, plain.data(), count * 4), 0) << trial;
    }
  }
  EXPECT_GT(accepted, 100);
  EXPECT_GT(refused, 100);
}

TEST(CorruptStreams, ZoneClaimingMoreThanItsSliceWritesNothing) {
  const std::vector<float> noise = NoiseField(250, 0.0f, 1.0f, 6);
  std::vector<Stream> zones(2);
  ASSERT_TRUE(AppendRawZone(noise.data(), 150, zones[0]));  // slice of 100
  ASSERT_TRUE(AppendRawZone(noise.data() + 150, 100, zones[1]));
  Stream s;
  ASSERT_TRUE(AppendZonedStream(kZonedMagic, {0, 100}, zones, s));
  GuardedDestination destination(200);
  std::fill(destination.values(), destination.values() + 200, 9.0f);
  decodeBothForms(s, destination);
  ASSERT_TRUE(destination.guardsIntact());
  for (int i = 0; i < 100; ++i) ASSERT_EQ(destination.values()[i], 9.0f) << i;
  for (int i = 100; i < 200; ++i) ASSERT_EQ(destination.values()[i], noise[i + 50]) << i;
}

TEST(CorruptStreams, TinyStreamsClaimingHugeZonesAreRejectedCheaply) {
  // Quantised headers of 2^31-1 values and of a box of 2^30 x 2^30 x 4, with a few bytes after.
  Stream along = {0x01, char(0xFC), 2};
  Stream box = {0x01, char(0xFC), 2};
  along.resize(24, 0);
  box.resize(32, 0);
  writeI32(along, 3, 0x7FFFFFFF);
  for (int a = 0; a < 3; ++a) writeI32(box, 3 + 4 * a, a == 2 ? 4 : 1 << 30);
  GuardedDestination destination(64);
  std::unique_ptr<unsigned char[]> exact(new unsigned char[box.size()]);
  std::memcpy(exact.get(), box.data(), box.size());
  SGCompressor<1> codec1(-1, nullptr, nullptr);
  SGCompressor<3> codec3(-1, nullptr, nullptr);
  EXPECT_EQ(codec1.Decompress(along.data(), along.size(), destination.values(), 64), 0);
  EXPECT_EQ(codec3.Decompress(exact.get(), box.size(), destination.values(), 64), 0);
  EXPECT_TRUE(destination.guardsIntact());
  // Rejected before any scratch is sized; an idle decoder keeps no scratch either way.
  EXPECT_TRUE(codec1.scratch.empty() && codec3.scratch.empty());
}

}  // namespace
