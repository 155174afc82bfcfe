// Encode-then-decode round trips through the stream writers and the zone decoders.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "codecs/EntropyCoder.h"
#include "codecs/SGCompressor.h"
#include "codecs/ZoneQuantiser.h"
#include "tools/codec/ReferenceDecoders.h"
#include "tools/codec/StreamWriter.h"
#include "tools/codec/SyntheticFields.h"

namespace {

using namespace orv::codectools;
using Stream = std::vector<char>;

constexpr float kUntouched = -7.0f;
const int kDims[3] = {23, 19, 17};
constexpr long long kCells = 23 * 19 * 17;

template <int N>
int decodeInto(const Stream& s, std::vector<float>& out) {
  SGCompressor<N> codec(-1, nullptr, nullptr);
  return codec.Decompress(s.data(), s.size(), out.data(), static_cast<long long>(out.size()));
}

int decodeForm(ZoneForm form, const Stream& s, std::vector<float>& out) {
  return form == ZoneForm::OverBox ? decodeInto<3>(s, out) : decodeInto<1>(s, out);
}

struct Field {
  const char* name;
  std::vector<float> values;
};

// Plateaus of whole numbers with steps in x, y and z: exact under a quantum step of 1.
std::vector<float> staircase() {
  std::vector<float> v(kCells);
  size_t d = 0;
  for (int k = 0; k < kDims[2]; ++k)
    for (int j = 0; j < kDims[1]; ++j)
      for (int i = 0; i < kDims[0]; ++i) v[d++] = static_cast<float>(i / 5 - 2 * (j / 4) + 3 * (k / 6));
  return v;
}

std::vector<Field> fields() {
  return {{"smoke", SmokeField(kDims, 3)},
          {"noise", NoiseField(kCells, -50.0f, 50.0f, 5)},
          {"staircase", staircase()}};
}

// Largest error a zone quantised over [low, high] may show: half a step plus float rounding.
float tolerance(const ZoneEncoding& e, float low, float high) {
  if (e.precisionBits >= 20) return 0.0f;
  const float step = e.precisionBits < 1 ? e.quantumStep : (high - low) / std::ldexp(1.0f, e.precisionBits);
  const float magnitude = std::max(std::fabs(low), std::fabs(high));
  return 0.5f * step * 1.01f + 4.0f * magnitude * 1.2e-7f;
}

Stream encodeWhole(bool zoned, unsigned short magic, ZoneForm form, const float* v,
                   const ZoneEncoding& e) {
  Stream s;
  bool ok = false;
  if (zoned) {
    ok = AppendZonedGrid(v, kDims, 5, form, e, magic, s);
  } else if (form == ZoneForm::OverBox) {
    ok = AppendZoneOverBox(v, kDims, e, s);
  } else {
    ok = AppendZoneAlongValues(v, static_cast<int>(kCells), e, s);
  }
  EXPECT_TRUE(ok);
  return s;
}

TEST(StreamRoundTrip, EveryStreamKindFormAndPredictionOrder) {
  struct Kind {
    bool zoned;
    unsigned short magic;
  };
  const Kind kinds[] = {{false, kSingleZoneMagic}, {true, kZonedMagic}, {true, kZonedMagicAlt}};
  std::vector<ZoneEncoding> encodings(6);
  encodings[0].precisionBits = 4;
  encodings[1].precisionBits = 8;
  encodings[2].precisionBits = 19;  // the finest quantisation
  encodings[3].precisionBits = 20;  // from here on raw floats
  encodings[4].precisionBits = 0;
  encodings[4].quantumStep = 1.0f;
  encodings[5].precisionBits = 0;
  encodings[5].quantumStep = 0.01f;
  for (const Field& field : fields()) {
    const auto range = std::minmax_element(field.values.begin(), field.values.end());
    for (const Kind& kind : kinds) {
      for (ZoneForm form : {ZoneForm::AlongValues, ZoneForm::OverBox}) {
        for (int order = 0; order <= 3; ++order) {
          for (ZoneEncoding e : encodings) {
            e.predictionOrder = order;
            SCOPED_TRACE(testing::Message() << field.name << " magic " << std::hex << kind.magic
                                            << std::dec << " form " << static_cast<int>(form)
                                            << " order " << order << " bits " << e.precisionBits);
            const Stream s = encodeWhole(kind.zoned, kind.magic, form, field.values.data(), e);
            ASSERT_GE(s.size(), 2u);
            EXPECT_EQ(static_cast<unsigned char>(s[0]) | (static_cast<unsigned char>(s[1]) << 8),
                      kind.magic);
            // Room past the values: a zoned stream's last zone may use it, nothing may write it.
            std::vector<float> out(kCells + 3, kUntouched);
            ASSERT_EQ(decodeForm(form, s, out), 1);
            const float limit = tolerance(e, *range.first, *range.second);
            for (long long i = 0; i < kCells; ++i) ASSERT_NEAR(out[i], field.values[i], limit) << i;
            for (long long i = kCells; i < kCells + 3; ++i) ASSERT_EQ(out[i], kUntouched);
          }
        }
      }
    }
  }
}

// Quantised zones of random boxes, precisions and prediction orders, in both forms: the decoder
// gives, bit for bit, what the plain decoder (bitwise expansion, line-by-line undo) gives.
TEST(StreamRoundTrip, QuantisedZonesMatchThePlainDecoderBitForBit) {
  std::mt19937 rng(23);
  int quantised = 0;
  for (int trial = 0; trial < 160; ++trial) {
    const int dims[3] = {1 + static_cast<int>(rng() % 40), 1 + static_cast<int>(rng() % 40),
                         1 + static_cast<int>(rng() % 40)};
    const long long count = static_cast<long long>(dims[0]) * dims[1] * dims[2];
    const std::vector<float> values = trial % 3 == 0 ? SmokeField(dims, trial)
                                      : trial % 3 == 1 ? GaussianNoiseField(count, 3.0f, trial)
                                                       : NoiseField(count, -1.0f, 1.0f, trial);
    ZoneEncoding e;
    e.precisionBits = 1 + static_cast<int>(rng() % 19);
    e.predictionOrder = static_cast<int>(rng() % 5);
    if (trial % 7 == 0) {
      e.precisionBits = 0;
      e.quantumStep = 1e-5f;
    }
    const bool overBox = trial % 2 == 0;
    Stream s;
    ASSERT_TRUE(overBox ? AppendZoneOverBox(values.data(), dims, e, s)
                        : AppendZoneAlongValues(values.data(), static_cast<int>(count), e, s));
    std::vector<float> plain;
    if (!DecodeQuantisedZonePlain(s, overBox, plain)) continue;  // stored raw or constant
    ++quantised;
    std::vector<float> fast(static_cast<size_t>(count));
    ASSERT_EQ(overBox ? decodeInto<3>(s, fast) : decodeInto<1>(s, fast), 1) << trial;
    ASSERT_EQ(std::memcmp(fast.data(), plain.data(), fast.size() * 4), 0)
        << trial << ": " << dims[0] << "x" << dims[1] << "x" << dims[2] << ", "
        << e.precisionBits << " bits, order " << e.predictionOrder;
  }
  EXPECT_GT(quantised, 120);
  // Zones along the values too large to decode whole, decoded in parts: runs of empty smoke and
  // a high prediction order reach across the parts.
  const int large[3] = {128, 128, 65};
  const long long count = 128ll * 128 * 65;
  ASSERT_GT(count, 16 * SGCompressor<1>::kZonePartValues);
  for (const std::vector<float>& values :
       {SmokeField(large, 4), GaussianNoiseField(count, 1.0f, 4)}) {
    ZoneEncoding e;
    e.precisionBits = 16;
    e.predictionOrder = values[0] == 0.0f ? 1 : 3;
    Stream s;
    ASSERT_TRUE(AppendZoneAlongValues(values.data(), static_cast<int>(count), e, s));
    std::vector<float> plain, fast(static_cast<size_t>(count));
    ASSERT_TRUE(DecodeQuantisedZonePlain(s, false, plain));
    ASSERT_EQ(decodeInto<1>(s, fast), 1);
    ASSERT_EQ(std::memcmp(fast.data(), plain.data(), fast.size() * 4), 0);
  }
}

TEST(StreamRoundTrip, WholeNumbersUnderUnitStepAreExact) {
  const std::vector<float> v = staircase();
  for (ZoneForm form : {ZoneForm::AlongValues, ZoneForm::OverBox}) {
    for (int order = 0; order <= 3; ++order) {
      ZoneEncoding e;
      e.precisionBits = 0;
      e.quantumStep = 1.0f;
      e.predictionOrder = order;
      Stream s;
      ASSERT_TRUE(AppendZonedGrid(v.data(), kDims, 17, form, e, kZonedMagic, s));
      std::vector<float> out(kCells, kUntouched);
      ASSERT_EQ(decodeForm(form, s, out), 1);
      EXPECT_EQ(out, v) << "form " << static_cast<int>(form) << " order " << order;
    }
  }
}

TEST(StreamRoundTrip, MixedZoneMethodsWithSlackAfterAShortZone) {
  const std::vector<float> noise = NoiseField(300, -1.0f, 1.0f, 9);
  std::vector<Stream> zones(4);
  ASSERT_TRUE(AppendRawZone(noise.data(), 100, zones[0]));
  ASSERT_TRUE(AppendConstantZone(2.5f, 50, zones[1]));
  ZoneEncoding e;
  e.precisionBits = 12;
  e.predictionOrder = 2;
  ASSERT_TRUE(AppendZoneAlongValues(noise.data() + 100, 100, e, zones[2]));
  // Only 40 values in a slice of 60: the last 20 places keep their contents.
  ASSERT_TRUE(AppendRawZone(noise.data() + 200, 40, zones[3]));
  Stream s;
  ASSERT_TRUE(AppendZonedStream(kZonedMagicAlt, {0, 100, 150, 250}, zones, s));
  std::vector<float> out(310, kUntouched);
  ASSERT_EQ(decodeInto<1>(s, out), 1);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(out[i], noise[i]);
  for (int i = 100; i < 150; ++i) EXPECT_EQ(out[i], 2.5f);
  for (int i = 150; i < 250; ++i) EXPECT_NEAR(out[i], noise[i - 50], 2.0f / 4096);
  for (int i = 250; i < 290; ++i) EXPECT_EQ(out[i], noise[i - 50]);
  for (int i = 290; i < 310; ++i) EXPECT_EQ(out[i], kUntouched);
}

// Differences too spread for non-negative offsets from their base: the zone falls back to raw.
TEST(StreamRoundTrip, DifferencesBeyondThirtyOneBitsAreStoredRaw) {
  const std::vector<float> v = {0.0f, 2e9f, 0.0f, 2e9f, 1.0f, 0.0f};
  ZoneEncoding e;
  e.precisionBits = 0;
  e.quantumStep = 1.0f;
  e.predictionOrder = 1;
  const int dims[3] = {6, 1, 1};
  Stream along, box;
  ASSERT_TRUE(AppendZoneAlongValues(v.data(), 6, e, along));
  ASSERT_TRUE(AppendZoneOverBox(v.data(), dims, e, box));
  for (const Stream* s : {&along, &box}) {
    EXPECT_EQ((*s)[2], 0);
    std::vector<float> out(6, kUntouched);
    ASSERT_EQ(s == &box ? decodeInto<3>(*s, out) : decodeInto<1>(*s, out), 1);
    EXPECT_EQ(out, v);
  }
  // The same values stored with fewer steps stay quantised.
  e.quantumStep = 1e3f;
  Stream coarse;
  ASSERT_TRUE(AppendZoneAlongValues(v.data(), 6, e, coarse));
  EXPECT_EQ(coarse[2], 2);
}

TEST(Prediction, DifferencePassesAreUndoneExactly) {
  std::mt19937 rng(17);
  std::vector<std::array<long long, 3>> boxes = {{1, 1, 1}, {7, 1, 1}, {1, 6, 1}, {1, 1, 5},
                                                 {2, 3, 2}, {9, 8, 7}};
  auto side = [&] { return static_cast<long long>(1 + rng() % 12); };
  for (int k = 0; k < 60; ++k) boxes.push_back({side(), side(), side()});
  for (const auto& dims : boxes) {
    const long long count = dims[0] * dims[1] * dims[2];
    for (int order = 0; order <= 5; ++order) {
      std::vector<int> original(count);
      for (int& q : original) q = static_cast<int>(rng());  // full range: the passes wrap
      // Undone along the values in parts cut anywhere, exactly as over the whole sequence.
      std::vector<int> whole = original, parts = original;
      orv::UndoPredictionAlongValues(whole.data(), count, order);
      orv::PredictionUndoAlongValues partwise(order);
      for (long long done = 0; done < count;) {
        const long long n = std::min<long long>(count - done, 1 + rng() % 9);
        partwise.Apply(parts.data() + done, n);
        done += n;
      }
      ASSERT_EQ(parts, whole);
      // Undone along contiguous rows, exactly as the plain line-by-line undo does.
      std::vector<int> rows = original, lines = original;
      orv::UndoPredictionOverBox(rows.data(), dims.data(), order);
      UndoPredictionOverBoxAlongLines(lines.data(), dims.data(), order);
      ASSERT_EQ(rows, lines) << dims[0] << "x" << dims[1] << "x" << dims[2] << " " << order;
      std::vector<int> box = original, line = original;
      PredictOverBox(box.data(), dims.data(), order);
      orv::UndoPredictionOverBox(box.data(), dims.data(), order);
      EXPECT_EQ(box, original) << dims[0] << "x" << dims[1] << "x" << dims[2] << " " << order;
      orv::PredictAlongValues(line.data(), count, order);
      orv::UndoPredictionAlongValues(line.data(), count, order);
      EXPECT_EQ(line, original);
    }
  }
  // An empty box with huge other axes is left alone at once, in both directions.
  const long long empty[3] = {1ll << 30, 0, 1ll << 30};
  int untouched = 5;
  PredictOverBox(&untouched, empty, 3);
  orv::UndoPredictionOverBox(&untouched, empty, 3);
  EXPECT_EQ(untouched, 5);
  // One pass over a constant box leaves only the first element.
  const long long dims[3] = {4, 3, 5};
  std::vector<int> constant(60, 42);
  PredictOverBox(constant.data(), dims, 1);
  EXPECT_EQ(constant[0], 42);
  EXPECT_EQ(std::count(constant.begin(), constant.end(), 0), 59);
}

TEST(StreamWriter, RefusesTablesTheDecoderCouldNotRead) {
  Stream a, b, out;
  ASSERT_TRUE(AppendConstantZone(1.0f, 4, a));
  ASSERT_TRUE(AppendConstantZone(2.0f, 4, b));
  EXPECT_FALSE(AppendZonedStream(kSingleZoneMagic, {0, 4}, {a, b}, out));
  EXPECT_FALSE(AppendZonedStream(kZonedMagic, {4, 4}, {a, b}, out));
  EXPECT_FALSE(AppendZonedStream(kZonedMagic, {-1, 4}, {a, b}, out));
  EXPECT_FALSE(AppendZonedStream(kZonedMagic, {0}, {a, b}, out));
  EXPECT_FALSE(AppendZonedStream(kZonedMagic, {}, {}, out));
  EXPECT_FALSE(AppendZonedStream(kZonedMagic, {0, 4}, {a, Stream(1)}, out));
  EXPECT_TRUE(out.empty());
  const std::vector<float> v(kCells, 1.0f);
  ZoneEncoding e;
  EXPECT_FALSE(AppendZonedGrid(v.data(), kDims, kDims[2] + 1, ZoneForm::OverBox, e, kZonedMagic, out));
  EXPECT_FALSE(AppendZonedGrid(v.data(), kDims, 0, ZoneForm::AlongValues, e, kZonedMagic, out));
  const int negative[3] = {4, -1, 2};
  EXPECT_FALSE(AppendZoneOverBox(v.data(), negative, e, out));
  const int huge[3] = {1 << 30, 1 << 30, 1 << 30};
  EXPECT_FALSE(AppendZoneOverBox(v.data(), huge, e, out));
  EXPECT_TRUE(out.empty());
}

// The quantised integers of a smoke zone (runs and long codes) read alike from a file and from
// memory, and they are the integers the zone decoder reconstructs from.
TEST(EntropyCoderFile, QuantisedZoneFromFileMatchesMemory) {
  const int dims[3] = {40, 40, 40};
  const std::vector<float> smoke = SmokeField(dims, 11);
  const int count = 64000;
  ZoneEncoding e;
  e.precisionBits = 8;
  e.predictionOrder = 1;
  Stream s;
  ASSERT_TRUE(AppendZoneAlongValues(smoke.data(), count, e, s));
  // magic, method, count, scale, offset, base, order: 20 bytes before the entropy stream.
  constexpr size_t kHeader = 20;
  ASSERT_EQ(s[2], 2);
  float scale = 0, offset = 0;
  int base = 0;
  std::memcpy(&scale, s.data() + 7, 4);
  std::memcpy(&offset, s.data() + 11, 4);
  std::memcpy(&base, s.data() + 15, 4);

  std::vector<int> fromMemory(count), fromFile(count, -1);
  EntropyCoder memoryCoder;
  ASSERT_EQ(memoryCoder.InitDecoder(s.data() + kHeader, s.data() + s.size()), 1);
  ASSERT_TRUE(memoryCoder.DecodeAndExpand(fromMemory.data(), count, base));

  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  std::fwrite(s.data(), 1, s.size(), f);
  std::fseek(f, static_cast<long>(kHeader), SEEK_SET);
  EntropyCoder fileCoder;
  ASSERT_EQ(fileCoder.InitDecoder(f, s.size() - kHeader), 1);
  EXPECT_TRUE(fileCoder.DecodeAndExpand(fromFile.data(), count, base));
  std::fclose(f);
  EXPECT_EQ(fromFile, fromMemory);
  EXPECT_EQ(fileCoder.BytesConsumed(), memoryCoder.BytesConsumed());

  orv::UndoPredictionAlongValues(fromFile.data(), count, 1);
  std::vector<float> decoded(count);
  ASSERT_EQ(decodeInto<1>(s, decoded), 1);
  const float inverse = 1.0f / scale;
  for (int k = 0; k < count; ++k) ASSERT_EQ(decoded[k], fromFile[k] * inverse + offset) << k;
}

}  // namespace
