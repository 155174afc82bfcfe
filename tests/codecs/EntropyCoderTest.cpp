#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "codecs/EntropyCoder.h"
#include "tools/codec/ReferenceDecoders.h"

namespace {

using orv::codectools::ExpandBitwise;
using Bytes = CVNUtils::CvnArray<char, long long>;

std::vector<unsigned char> encode(const std::vector<int>& values) {
  Bytes out;
  EntropyCoder coder;
  const long long n = coder.Encode(values.data(), static_cast<long long>(values.size()), out);
  EXPECT_EQ(n, out.size());
  return std::vector<unsigned char>(out.begin(), out.end());
}

// Bits appended least significant first, as the streams hold them.
struct BitSink {
  std::vector<unsigned char> bytes;
  long long bits = 0;
  void put(unsigned long long value, int n) {
    for (int k = 0; k < n; ++k, ++bits) {
      if (bits % 8 == 0) bytes.push_back(0);
      if ((value >> k) & 1) bytes.back() |= static_cast<unsigned char>(1u << (bits % 8));
    }
  }
};

// A coded stream with a table of the test's choosing, (rate, value offset) in stream order,
// followed by `data` as its code words: trees the encoder would need billions of values for.
std::vector<unsigned char> streamWithTable(int minimum, int rateWidth, int offsetWidth,
                                           const std::vector<std::pair<uint32_t, uint32_t>>& table,
                                           const std::vector<unsigned char>& data) {
  BitSink sink;
  sink.put(0, 8);
  sink.put(table.size(), 32);
  sink.put(static_cast<uint32_t>(minimum), 32);
  sink.put(rateWidth, 6);
  sink.put(offsetWidth, 6);
  for (size_t i = 0; i < table.size(); ++i) {
    const bool newRate = i == 0 || table[i].first != table[i - 1].first;
    sink.put(newRate ? 1 : 0, 1);
    if (newRate) sink.put(table[i].first, rateWidth);
    sink.put(table[i].second, offsetWidth);
  }
  for (unsigned char byte : data) sink.put(byte, 8);
  return sink.bytes;
}

std::vector<int> decode(const std::vector<unsigned char>& stream, size_t count, int base = 0) {
  std::vector<int> values(count, -12345);
  EntropyCoder coder;
  EXPECT_EQ(coder.InitDecoder(stream.data(), stream.data() + stream.size()), 1);
  EXPECT_TRUE(coder.DecodeAndExpand(values.data(), static_cast<long long>(count), base));
  return values;
}

TEST(EntropyCoderVectors, RepeatedValueCodedFromEightyCopies) {
  EXPECT_EQ(encode(std::vector<int>(80, 7)),
            (std::vector<unsigned char>{0x00, 0x01, 0, 0, 0, 0x07, 0, 0, 0, 0x47, 0x10, 0x0A}));
  const auto raw = encode(std::vector<int>(79, 7));
  EXPECT_NE(raw[0], 0);
  EXPECT_EQ(decode(encode(std::vector<int>(80, 7)), 80), std::vector<int>(80, 7));
}

TEST(EntropyCoderVectors, RawStreamOfFourValues) {
  EXPECT_EQ(encode({0, 1, 2, 3}),
            (std::vector<unsigned char>{0x03, 0, 0, 0, 0, 0x88, 0x06, 0}));
}

TEST(EntropyCoderVectors, SkewedRatesGiveSixtyByteCodedStream) {
  std::vector<int> v;
  v.insert(v.end(), 200, 0);
  v.insert(v.end(), 50, 1);
  v.insert(v.end(), 10, 2);
  v.insert(v.end(), 3, 3);
  std::shuffle(v.begin(), v.end(), std::mt19937(3));
  const auto stream = encode(v);
  EXPECT_EQ(stream.size(), 60u);
  EXPECT_EQ(stream[0], 0);
  EXPECT_EQ(decode(stream, v.size()), v);
  EntropyCoder coder;
  ASSERT_EQ(coder.InitDecoder(stream.data(), stream.data() + stream.size()), 1);
  EXPECT_EQ(coder.symbolCount(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(coder.table()[i].value, i);
}

TEST(EntropyCoderVectors, ShannonFanoSplits) {
  // Rates {5, 1}: one bit each. Four equal rates: codes 0, 2, 1, 3.
  std::vector<int> two(5, 0);
  two.push_back(1);
  std::vector<int> four;
  for (int r = 0; r < 30; ++r)
    for (int v = 0; v < 4; ++v) four.push_back(v * 9);
  for (const auto* input : {&two, &four}) {
    const auto s = encode(*input);
    EXPECT_EQ(decode(s, input->size()), *input);
  }
  EntropyCoder probe;
  Bytes out;
  probe.Encode(four.data(), static_cast<long long>(four.size()), out);
  const std::vector<unsigned char> s(out.begin(), out.end());
  ASSERT_EQ(s[0], 0);  // coded: 120 values of width 6 cost 90 bytes raw
}

TEST(EntropyCoderExpand, RunsAndBase) {
  const auto s = encode({3, -4, 0});
  EXPECT_EQ(decode(s, 6, 100), (std::vector<int>{103, 103, 103, 103, 103, 100}));
}

TEST(EntropyCoderExpand, RunLongerThanRoomStopsAfterFilling) {
  const auto s = encode({3, -5});
  std::vector<int> values(4, -1);
  EntropyCoder coder;
  coder.InitDecoder(s.data(), s.data() + s.size());
  EXPECT_FALSE(coder.DecodeAndExpand(values.data(), 4, 0));
  EXPECT_EQ(values, (std::vector<int>{3, 3, 3, 3}));
}

TEST(EntropyCoderExpand, RunMarkerFirstIsRejected) {
  const auto s = encode({-3, 1, 2});
  std::vector<int> values(5, -1);
  EntropyCoder coder;
  coder.InitDecoder(s.data(), s.data() + s.size());
  EXPECT_FALSE(coder.DecodeAndExpand(values.data(), 5, 0));
  EXPECT_EQ(values, std::vector<int>(5, -1));
}

TEST(EntropyCoderRoundTrip, RandomDistributionsAndWordAlignment) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 200; ++trial) {
    const int n = 1 + static_cast<int>(rng() % 3000);
    std::geometric_distribution<int> small(0.05 + (trial % 10) * 0.09);
    std::vector<int> v(n);
    for (int& x : v) x = (trial % 7 == 0) ? static_cast<int>(rng()) : small(rng) - trial;
    const auto s = encode(v);
    EXPECT_EQ(s.size() % 4, 0u);
    // Negative values would be run markers to DecodeAndExpand: compare symbol by symbol.
    EntropyCoder coder;
    ASSERT_EQ(coder.InitDecoder(s.data(), s.data() + s.size()), 1);
    for (size_t i = 0; i < v.size(); ++i) ASSERT_EQ(coder.DecodeSymbol(), v[i]) << trial;
    EXPECT_FALSE(coder.Overrun());
  }
}

TEST(EntropyCoderRoundTrip, LookupDecoderMatchesBitwiseReference) {
  std::mt19937 rng(5);
  for (int trial = 0; trial < 100; ++trial) {
    std::vector<int> v(2000);
    // Skewed rates give long codes that pass the lookup table.
    for (int& x : v) {
      int k = 0;
      while (k < 30 && (rng() & 1)) ++k;
      x = k * 3 + static_cast<int>(rng() % 2);
    }
    const auto s = encode(v);
    EntropyCoder fast, plain;
    fast.InitDecoder(s.data(), s.data() + s.size());
    plain.InitDecoder(s.data(), s.data() + s.size());
    for (size_t i = 0; i < v.size(); ++i) {
      const int a = fast.DecodeSymbol();
      ASSERT_EQ(a, plain.DecodeSymbolBitwise());
      ASSERT_EQ(a, v[i]);
    }
    EXPECT_EQ(fast.BytesConsumed(), plain.BytesConsumed());
  }
}

// DecodeAndExpand decodes most symbols with whole-word loads and the last bytes of a source
// with checked reads: both must agree with the one-bit-at-a-time walk, whatever the length.
TEST(EntropyCoderRoundTrip, ExpansionMatchesBitwiseReferenceUpToTheLastByte) {
  std::mt19937 rng(31);
  for (int trial = 0; trial < 300; ++trial) {
    std::vector<int> symbols;
    const int n = 1 + static_cast<int>(rng() % (trial < 100 ? 40 : 3000));
    long long expanded = 0;
    for (int k = 0; k < n; ++k) {
      if (k > 0 && rng() % 6 == 0) {
        const int run = 1 + static_cast<int>(rng() % 20);
        symbols.push_back(-run);
        expanded += run;
        continue;
      }
      int depth = 0;  // skewed: long code words beyond the lookup table
      while (depth < 24 && (rng() & 1)) ++depth;
      symbols.push_back(depth * 5 + static_cast<int>(rng() % (1 + trial % 4)));
      ++expanded;
    }
    const auto s = encode(symbols);
    EntropyCoder reference;
    ASSERT_EQ(reference.InitDecoder(s.data(), s.data() + s.size()), 1);
    std::vector<int> expected(static_cast<size_t>(expanded), -1);
    ASSERT_TRUE(ExpandBitwise(reference, expected.data(), expanded, 9));
    std::vector<int> got(expected.size(), -1);
    EntropyCoder fast;
    ASSERT_EQ(fast.InitDecoder(s.data(), s.data() + s.size()), 1);
    ASSERT_TRUE(fast.DecodeAndExpand(got.data(), expanded, 9)) << trial;
    ASSERT_EQ(got, expected) << trial;
    EXPECT_EQ(fast.BytesConsumed(), reference.BytesConsumed()) << trial;
  }
}

// Tables of every shape a stream may carry: combs (rates halving, down to code words of 32 bits,
// the longest 32-bit rates can make), skewed, flat and zero rates (refused by both), and many
// values of like rates (long code words read through length classes), each followed by random
// code words. The table decoder must give the tree walk's symbols, overrun and consumed bytes,
// and the expansion, whole or in parts, the plain one.
TEST(EntropyCoderRoundTrip, EveryTableShapeDecodesAsTheTreeWalk) {
  std::mt19937 rng(77);
  int refused = 0, deepest = 0, lengthFirst = 0;
  for (int trial = 0; trial < 500; ++trial) {
    std::vector<std::pair<uint32_t, uint32_t>> table;
    int rateWidth = 32;
    const int shape = trial % 5;
    // Wide entries past 23 bits; room for the many values of shape 4.
    const int offsetWidth = (shape == 4 ? 17 : 1) + static_cast<int>(rng() % (shape == 4 ? 16 : 32));
    const int entries = shape == 0   ? 2 + trial / 5 % 32
                        : shape == 4 ? 11000 + static_cast<int>(rng() % 4000)
                                     : 1 + static_cast<int>(rng() % 2000);
    for (int e = 0; e < entries; ++e) {
      uint32_t rate = 0;
      if (shape == 0) {  // comb: every rate the sum of those after it, depth entries - 1
        rate = e + 1 < entries ? 1u << (entries - 2 - e) : 1u;
      } else if (shape == 1) {
        rate = 1u + (rng() >> (1 + rng() % 31));
      } else if (shape == 2) {
        rateWidth = 4;
        rate = 1 + rng() % 15;
      } else if (shape == 3) {
        rate = rng() % 4;  // zero rates: trees that cannot be built
      } else {
        // Many values of like rates, as noise at a high precision gives: long code words of a
        // few lengths, decoded through the root's length classes; a few shorter and longer ones.
        const uint32_t kind = rng() % 1000;
        rate = kind == 0 ? 20000 : kind < 30 ? 1 + rng() % 20 : 1000 + rng() % 1000;
      }
      table.emplace_back(rate, static_cast<uint32_t>(rng() & ((1ull << offsetWidth) - 1)));
    }
    // As an encoder writes them: by falling rate.
    if (shape == 4) std::stable_sort(table.begin(), table.end(), std::greater<>());
    std::vector<unsigned char> data(rng() % 2000);
    for (unsigned char& b : data) b = static_cast<unsigned char>(rng() >> (rng() % 3 * 8));
    const int minimum = static_cast<int>(rng() % 64) - 32;
    const std::vector<unsigned char> s =
        streamWithTable(minimum, rateWidth, offsetWidth, table, data);
    // An exactly sized heap copy: the sanitizer build sees any read past its end.
    const std::unique_ptr<unsigned char[]> exact(new unsigned char[s.size()]);
    std::copy(s.begin(), s.end(), exact.get());
    const unsigned char* end = exact.get() + s.size();
    EntropyCoder fast, plain;
    const long long ready = fast.InitDecoder(exact.get(), end);
    ASSERT_EQ(ready, plain.InitDecoder(exact.get(), end)) << trial;
    if (!ready) {
      ++refused;
      continue;
    }
    if (shape == 0) deepest = std::max(deepest, entries - 1);
    lengthFirst += fast.codeTable().lengthFirst();
    for (int k = 0; k < 20000 && !plain.Overrun(); ++k) {
      ASSERT_EQ(fast.DecodeSymbol(), plain.DecodeSymbolBitwise()) << trial << " symbol " << k;
      ASSERT_EQ(fast.Overrun(), plain.Overrun()) << trial;
    }
    ASSERT_EQ(fast.BytesConsumed(), plain.BytesConsumed()) << trial;

    // Expanded whole, and in parts of random sizes that runs may reach across, by two coders
    // side by side whose parts differ, so that either may stop or finish first and the other
    // go on alone.
    const long long places = rng() % 4000;
    const int base = static_cast<int>(rng());
    std::vector<int> whole(places, -1), expected(places, -1);
    EntropyCoder expander, reference;
    expander.InitDecoder(exact.get(), end);
    reference.InitDecoder(exact.get(), end);
    const bool ok = ExpandBitwise(reference, expected.data(), places, base);
    ASSERT_EQ(expander.DecodeAndExpand(whole.data(), places, base), ok) << trial;
    ASSERT_EQ(whole, expected) << trial;
    struct Partwise {
      EntropyCoder coder;
      std::vector<int> values;
      long long done = 0;
      bool ok = true;
      bool going(long long places) const { return ok && done < places; }
    } a, b;
    for (Partwise* p : {&a, &b}) {
      p->coder.InitDecoder(exact.get(), end);
      p->values.assign(places, -1);
    }
    while (a.going(places) || b.going(places)) {
      const long long nA = std::min<long long>(places - a.done, 1 + rng() % 300);
      const long long nB = std::min<long long>(places - b.done, 1 + rng() % 300);
      if (a.going(places) && b.going(places)) {
        EntropyCoder::ExpandNextOfBoth(a.coder, {a.values.data() + a.done, nA, base}, a.ok,
                                       b.coder, {b.values.data() + b.done, nB, base}, b.ok);
        a.done += nA;
        b.done += nB;
      } else {
        Partwise& alone = a.going(places) ? a : b;
        const long long n = &alone == &a ? nA : nB;
        alone.ok = alone.coder.ExpandNext(alone.values.data() + alone.done, n, base);
        alone.done += n;
      }
    }
    for (Partwise* p : {&a, &b}) {
      ASSERT_EQ(p->ok && p->coder.FinishExpansion(), ok) << trial;
      if (ok) {
        ASSERT_EQ(p->values, expected) << trial;
      }
    }
  }
  EXPECT_EQ(deepest, EntropyCoder::kMaxCodeLength);
  EXPECT_GT(refused, 100);
  EXPECT_GT(lengthFirst, 50);
}

TEST(EntropyCoderFile, FileAndMemoryGiveSameValues) {
  std::vector<int> v;
  // Non-negative values: negative symbols are run markers to DecodeAndExpand.
  for (int i = 0; i < 5000; ++i) v.push_back((i * i) % 37);
  const auto s = encode(v);
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  std::fputc(0x55, f);
  std::fwrite(s.data(), 1, s.size(), f);
  std::fseek(f, 1, SEEK_SET);
  EntropyCoder fromFile;
  ASSERT_EQ(fromFile.InitDecoder(f, s.size()), 1);
  std::vector<int> got(v.size());
  EXPECT_TRUE(fromFile.DecodeAndExpand(got.data(), static_cast<long long>(got.size()), 0));
  std::fclose(f);
  EXPECT_EQ(got, decode(s, v.size()));
  EXPECT_EQ(got, v);
}

TEST(EntropyCoderBadInput, TruncatedStreamsNeverReadPastTheirEnd) {
  std::vector<int> v(3000);
  std::mt19937 rng(9);
  for (int& x : v) x = static_cast<int>(rng() % 50);
  const auto s = encode(v);
  for (size_t cut = 0; cut < s.size(); cut += 7) {
    // A heap copy of exactly `cut` bytes: the sanitizer build sees any read past it.
    std::vector<unsigned char> part(s.begin(), s.begin() + static_cast<long>(cut));
    std::vector<int> out(v.size());
    EntropyCoder coder;
    coder.InitDecoder(part.data(), part.data() + part.size());
    EXPECT_FALSE(coder.DecodeAndExpand(out.data(), static_cast<long long>(out.size()), 0));
  }
}

TEST(EntropyCoderBadInput, HugeTableCountInTinyStreamIsRejected) {
  // Coded header claiming 2^31-1 entries in 20 bytes.
  std::vector<unsigned char> s = {0x00, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0, 0x48, 0x00};
  s.resize(20, 0xAB);
  EntropyCoder coder;
  EXPECT_EQ(coder.InitDecoder(s.data(), s.data() + s.size()), 0);
  int value = 0;
  EXPECT_FALSE(coder.DecodeAndExpand(&value, 1, 0));
}

TEST(EntropyCoderBadInput, RandomBytesDecodeSafely) {
  std::mt19937 rng(21);
  for (int trial = 0; trial < 3000; ++trial) {
    std::vector<unsigned char> s(1 + rng() % 64);
    for (auto& b : s) b = static_cast<unsigned char>(rng());
    if (trial % 2) s[0] = 0;
    std::vector<int> out(256);
    EntropyCoder coder;
    coder.InitDecoder(s.data(), s.data() + s.size());
    coder.DecodeAndExpand(out.data(), static_cast<long long>(out.size()), 0);
    EXPECT_LE(coder.BytesConsumed(), s.size());
  }
}

}  // namespace
