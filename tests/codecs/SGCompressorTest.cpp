#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "codecs/EntropyCoder.h"
#include "codecs/SGCompressor.h"
#include "tools/codec/StreamWriter.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes compress(std::vector<float>& v, int bits, int order) {
  CVNUtils::CvnArray<char, long long> out;
  SGZone zone;
  zone.output = &out;
  zone.values = v.data();
  zone.count = static_cast<int>(v.size());
  zone.precisionBits = bits;
  zone.predictionOrder = order;
  SGCompressor<1> codec(-1, nullptr, nullptr);
  const long long written = codec.CompressZone(zone);
  EXPECT_EQ(written, out.size());
  return Bytes(out.begin(), out.end());
}

TEST(SGCompressorVectors, ElevenByteConstantZone) {
  const Bytes s = {0x01, 0xFC, 0x01, 0x03, 0, 0, 0, 0, 0, 0x80, 0x3F};
  SGCompressor<1> codec(-1, nullptr, nullptr);
  std::vector<float> out(5, -2.0f);
  EXPECT_EQ(codec.Decompress(s.data(), s.size(), out.data(), 5), 1);
  EXPECT_EQ(out, (std::vector<float>{1, 1, 1, -2, -2}));
  std::vector<float> small(2, -2.0f);
  EXPECT_EQ(codec.Decompress(s.data(), s.size(), small.data(), 2), 0);
  EXPECT_EQ(small, (std::vector<float>{-2, -2}));
}

TEST(SGCompressorVectors, ThirtyTwoByteQuantisedZone) {
  std::vector<float> v = {0, 1, 2, 3, 4};
  const Bytes s = compress(v, 8, 1);
  EXPECT_EQ(s, (Bytes{0x01, 0xFC, 0x02, 0x05, 0, 0, 0, 0, 0, 0x80, 0x42, 0, 0, 0, 0, 0,
                      0, 0, 0, 0x01, 0x07, 0, 0, 0, 0, 0, 0x20, 0x10, 0x08, 0x04, 0, 0}));
  SGCompressor<1> codec(-1, nullptr, nullptr);
  std::vector<float> out(5);
  EXPECT_EQ(codec.Decompress(s.data(), s.size(), out.data(), 5), 1);
  EXPECT_EQ(out, v);
}

// Quantised with a unit step from 0, so the zone's integers are the values themselves.
struct MarkedZone {
  int method = -1;
  int base = 0;
  std::vector<int> symbols;  // the entropy stream's symbols, run markers not expanded
};

MarkedZone encodeWholeNumbers(const std::vector<float>& v, int order, size_t symbolCount) {
  orv::codectools::ZoneEncoding e;
  e.precisionBits = 0;
  e.quantumStep = 1.0f;
  e.rangeMinimum = 0.0f;
  e.rangeMaximum = 1000.0f;
  e.predictionOrder = order;
  std::vector<char> s;
  EXPECT_TRUE(orv::codectools::AppendZoneAlongValues(v.data(), static_cast<int>(v.size()), e, s));
  MarkedZone zone;
  zone.method = s[2];
  if (zone.method != 2) return zone;
  std::memcpy(&zone.base, s.data() + 15, 4);
  EXPECT_EQ(s[19], order);
  EntropyCoder coder;
  EXPECT_EQ(coder.InitDecoder(s.data() + 20, s.data() + s.size()), 1);
  for (size_t k = 0; k < symbolCount; ++k) zone.symbols.push_back(coder.DecodeSymbol());
  EXPECT_FALSE(coder.Overrun());
  // And the zone decodes back to the values.
  std::vector<float> out(v.size());
  SGCompressor<1> codec(-1, nullptr, nullptr);
  EXPECT_EQ(codec.Decompress(s.data(), s.size(), out.data(), static_cast<long long>(out.size())), 1);
  EXPECT_EQ(out, v);
  return zone;
}

TEST(SGCompressorEncoder, RunMarkingAfterMoreThanThreeRepeats) {
  std::vector<float> four = {3, 7, 7, 7, 7};
  std::vector<float> five = {3, 7, 7, 7, 7, 7, 5};
  std::vector<float> eleven(12, 7.0f);
  eleven[0] = 3;
  EXPECT_EQ(encodeWholeNumbers(four, 0, 5).symbols, (std::vector<int>{0, 4, 4, 4, 4}));
  EXPECT_EQ(encodeWholeNumbers(five, 0, 4).symbols, (std::vector<int>{0, 4, -4, 2}));
  const MarkedZone z = encodeWholeNumbers(eleven, 0, 2);
  EXPECT_EQ(z.base, 3);
  EXPECT_EQ(z.symbols, (std::vector<int>{0, 4}));
  EXPECT_EQ(encodeWholeNumbers(eleven, 0, 3).symbols.back(), -10);
}

TEST(SGCompressorEncoder, SecondOrderPredictionOfARamp) {
  const MarkedZone z = encodeWholeNumbers({1, 2, 3, 4, 5}, 2, 5);
  EXPECT_EQ(z.base, 0);
  EXPECT_EQ(z.symbols, (std::vector<int>{1, 1, 0, 0, 0}));
}

TEST(SGCompressorEncoder, InfiniteOrTinySpreadBecomesOneConstant) {
  std::vector<float> withInfinity = {1.0f, 2.0f, INFINITY, 3.0f};
  const Bytes a = compress(withInfinity, 8, 1);
  ASSERT_EQ(a.size(), 11u);
  EXPECT_EQ(a[2], 1);
  std::vector<float> tiny = {2e-21f, 5e-21f, 1e-21f};
  const Bytes b = compress(tiny, 8, 1);
  ASSERT_EQ(b.size(), 11u);
  EXPECT_EQ(b[2], 1);
  SGCompressor<1> codec(-1, nullptr, nullptr);
  std::vector<float> out(4, -1.0f);
  ASSERT_EQ(codec.Decompress(a.data(), a.size(), out.data(), 4), 1);
  EXPECT_EQ(out, std::vector<float>(4, 0.0f));
  ASSERT_EQ(codec.Decompress(b.data(), b.size(), out.data(), 3), 1);
  EXPECT_EQ(out[0], 1e-21f);
  EXPECT_EQ(out[2], 1e-21f);
}

TEST(SGCompressorDecoder, TinyPositiveOffsetIsDroppedNegativeKept) {
  for (float offset : {5e-21f, -5e-21f}) {
    // Values 0 and 1 over [offset, 1] in quarter steps: the first reconstructs as the offset.
    std::vector<float> v = {offset, 1.0f};
    orv::codectools::ZoneEncoding e;
    e.precisionBits = 0;
    e.quantumStep = 0.25f;
    e.rangeMinimum = offset;
    e.rangeMaximum = 1.0f;
    std::vector<char> s;
    ASSERT_TRUE(orv::codectools::AppendZoneAlongValues(v.data(), 2, e, s));
    SGCompressor<1> codec(-1, nullptr, nullptr);
    std::vector<float> out(2, -1.0f);
    ASSERT_EQ(codec.Decompress(s.data(), s.size(), out.data(), 2), 1);
    EXPECT_EQ(out[0], offset > 0 ? 0.0f : offset);
    EXPECT_EQ(out[1], 1.0f);
  }
}

TEST(SGCompressorZoned, FailingZoneLeavesItsSliceAndOthersDecode) {
  // Three zones of 4 values: constant, unknown method, raw.
  Bytes body0 = {0x01, 0xFC, 1, 4, 0, 0, 0, 0, 0, 0x40, 0x40};
  Bytes body1 = {0x01, 0xFC, 9, 0, 0};
  Bytes body2 = {0x01, 0xFC, 0, 4, 0, 0, 0};
  for (int i = 0; i < 4; ++i) {
    float f = 10.0f + i;
    unsigned char b[4];
    std::memcpy(b, &f, 4);
    body2.insert(body2.end(), b, b + 4);
  }
  auto zoned = [&](std::vector<int> firsts, std::vector<int> offsets) {
    Bytes s = {0x02, 0xFC, 3, 0};
    for (auto* t : {&firsts, &offsets})
      for (int x : *t)
        for (int k = 0; k < 4; ++k) s.push_back(static_cast<unsigned char>(x >> (8 * k)));
    s.insert(s.end(), body0.begin(), body0.end());
    s.insert(s.end(), body1.begin(), body1.end());
    s.insert(s.end(), body2.begin(), body2.end());
    return s;
  };
  const int o1 = static_cast<int>(body0.size()), o2 = o1 + static_cast<int>(body1.size());
  SGCompressor<1> codec(-1, nullptr, nullptr);
  std::vector<float> out(12, -1.0f);
  const Bytes good = zoned({0, 4, 8}, {0, o1, o2});
  EXPECT_EQ(codec.Decompress(good.data(), good.size(), out.data(), 12), 1);
  EXPECT_EQ(out, (std::vector<float>{3, 3, 3, 3, -1, -1, -1, -1, 10, 11, 12, 13}));
  // On request, whatever the zones did not write becomes 0: the failed slice, slack after the
  // last zone's values and, first, the places before the first zone.
  std::vector<float> slack(15, -1.0f);
  const Bytes shifted = zoned({1, 5, 9}, {0, o1, o2});
  EXPECT_EQ(codec.Decompress(shifted.data(), shifted.size(), slack.data(), 15), 1);
  codec.ZeroUnwritten(slack.data(), 15);
  EXPECT_EQ(slack, (std::vector<float>{0, 3, 3, 3, 3, 0, 0, 0, 0, 10, 11, 12, 13, 0, 0}));

  for (const Bytes& bad : {zoned({0, 8, 4}, {0, o1, o2}), zoned({0, 4, 12}, {0, o1, o2}),
                           zoned({0, 4, 8}, {0, o2, o1})}) {
    std::vector<float> untouched(12, -1.0f);
    EXPECT_EQ(codec.Decompress(bad.data(), bad.size(), untouched.data(), 12), 0);
    EXPECT_EQ(untouched, std::vector<float>(12, -1.0f));
    codec.ZeroUnwritten(untouched.data(), 12);
    EXPECT_EQ(untouched, std::vector<float>(12, 0.0f)) << "a refused stream wrote nothing";
  }
}

}  // namespace
