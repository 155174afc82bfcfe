// Hostile inputs that once hung, crashed or over-allocated, checked through the public interfaces
// with the result each must now give.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "cache/CorvaneFrameData.h"
#include "cache/particles/PGroup.h"
#include "codecs/EntropyCoder.h"
#include "codecs/SGCompressor.h"
#include "tests/support/CapturedOutput.h"
#include "tests/support/ScopedDecodeCap.h"

namespace {

template <typename T>
void put(std::vector<char>& out, T value) {
  const char* bytes = reinterpret_cast<const char*>(&value);
  out.insert(out.end(), bytes, bytes + sizeof value);
}

}  // namespace

// A box zone with one empty axis holds no values, however long its other axes claim to be: it
// decodes at once (a hang would meet the test timeout) and writes nothing.
TEST(HostileGridStreams, EmptyBoxWithHugeAxesDecodesAtOnce) {
  std::vector<char> stream;
  put<unsigned short>(stream, 0xFC01);
  put<unsigned char>(stream, 2);
  put<int>(stream, 0);
  put<int>(stream, 1 << 30);
  put<int>(stream, 1 << 30);
  put<float>(stream, 1.0f);
  put<float>(stream, 0.0f);
  put<int>(stream, 0);
  put<unsigned char>(stream, 255);
  const int one = 0;
  CVNUtils::CvnArray<char, long long> coded;
  EntropyCoder coder;
  ASSERT_GT(coder.Encode(&one, 1, coded), 0);
  stream.insert(stream.end(), coded.data, coded.data + coded.size());

  std::vector<float> destination(8, 7.0f);
  SGCompressor<3> codec(1, nullptr, nullptr);
  EXPECT_EQ(codec.Decompress(stream.data(), stream.size(), destination.data(), 8), 1);
  for (float v : destination) EXPECT_EQ(v, 7.0f);
}

namespace {

// A single-zone stream of `count` copies of `value`.
std::vector<char> constantZone(int count, float value) {
  std::vector<char> stream;
  put<unsigned short>(stream, 0xFC01);
  put<unsigned char>(stream, 1);
  put<int>(stream, count);
  put<float>(stream, value);
  return stream;
}

// Loads one grid record for channel id holding `stream` into a frame of the given size.
void storeGridRecord(CorvaneFrameData& frame, const int size[3], int id,
                     const std::vector<char>& stream) {
  for (int a = 0; a < 3; ++a) frame.gridSize[a] = size[a];
  const long long payloadWords = (static_cast<long long>(stream.size()) + 3) / 4;
  ASSERT_TRUE(frame.allocateCompressedStream(2 + payloadWords));
  std::memset(frame.compressedStream, 0, static_cast<size_t>(4 * (2 + payloadWords)));
  frame.compressedStream[0] = id;
  frame.compressedStream[1] = static_cast<int>(payloadWords);
  std::memcpy(frame.compressedStream + 2, stream.data(), stream.size());
  frame.formatVersion = 6;
  frame.channelMask = 1u << id;
}

}  // namespace

// A few bytes of constant zone may describe a grid of any size: the size the header implies is
// decoded when the decode cap allows it, and refused with a reason when it does not.
TEST(HostileGridStreams, GridsBeyondTheDecodeCapAreRefused) {
  const int size[3] = {128, 128, 64};
  const int voxels = 128 * 128 * 64;
  for (const long long capBytes : {4ll * voxels, 4ll * voxels + 16}) {
    ScopedDecodeCap cap(capBytes);
    LogCapture log;
    CorvaneFrameData frame;
    storeGridRecord(frame, size, 2, constantZone(voxels, 0.5f));
    const float* values = frame.getChannel(2);
    if (capBytes < 4ll * (voxels + 4)) {
      EXPECT_EQ(values, nullptr);
      ASSERT_EQ(log.lines().size(), 1u);
      EXPECT_EQ(log.lines()[0].rfind("#channel 2 of a frame: 4194320 decoded bytes refused", 0), 0u)
          << log.lines()[0];
    } else {
      ASSERT_NE(values, nullptr);
      EXPECT_EQ(values[voxels - 1], 0.5f);
    }
  }
}

// The same for a particle channel in the grid codec: its particle count decides its size.
TEST(HostileParticleChannels, CountsBeyondTheDecodeCapAreRefused) {
  ScopedDecodeCap cap(1 << 20);
  for (int method : {2, 3}) {
    SCOPED_TRACE(method);
    for (int particles : {300 * 1000 * 1000, 100000}) {
      PGroup group;
      group.particleCount = particles;
      const std::vector<char> stored = constantZone(particles, 1.0f);
      ASSERT_TRUE(group.setCompressedChannel(2, method, stored.data(), stored.size()));
      LogCapture log;
      const bool decoded = group.decompressChannel(2, true);
      EXPECT_EQ(decoded, particles == 100000);
      if (!decoded) {
        EXPECT_TRUE(log.contains("#particle channel 2 of group : 1200000000 decoded bytes refused: "
                                 "ORV_MAX_DECODED_BYTES allows 1048576, 0 already in use\n"));
        continue;
      }
      float value = 0;
      ASSERT_NE(group.channelData(particles - 1, 2), nullptr);
      std::memcpy(&value, group.channelData(particles - 1, 2), 4);
      EXPECT_EQ(value, 1.0f);
    }
  }
}

// Grid sizes whose product is negative or beyond 64 bits describe no voxels: nothing is decoded
// (and, in the sanitizer build, nothing overflows).
TEST(HostileGridStreams, ImpossibleGridSizesHoldNoVoxels) {
  const int sizes[][3] = {{2147483647, 2147483647, 2147483647}, {-2, -2, 4}, {8, -1, 8}};
  for (const auto& size : sizes) {
    CorvaneFrameData frame;
    storeGridRecord(frame, size, 2, constantZone(16, 1.0f));
    EXPECT_EQ(frame.voxelCount(), 0);
    EXPECT_EQ(frame.getChannel(2), nullptr);
  }
  CorvaneFrameData ordinary;
  const int size[3] = {2, 2, 4};
  storeGridRecord(ordinary, size, 2, constantZone(16, 1.0f));
  EXPECT_EQ(ordinary.voxelCount(), 16);
  EXPECT_NE(ordinary.getChannel(2), nullptr);
}

// The smallest int as the sequence minimum: offsets from it are taken modulo 2^32 without
// overflowing, and the sequence decodes back in both the coded and the wide (raw) form.
TEST(HostileEntropyStreams, SequencesWithTheSmallestIntRoundTrip) {
  const std::vector<std::vector<int>> sequences = {
      {INT_MIN, 3, 3, 0, INT_MIN, 2},
      {INT_MIN, INT_MAX, 0, -1, 1},
  };
  for (const std::vector<int>& values : sequences) {
    CVNUtils::CvnArray<char, long long> stream;
    EntropyCoder encoder;
    ASSERT_GT(encoder.Encode(values.data(), static_cast<long long>(values.size()), stream), 0);
    EntropyCoder decoder;
    ASSERT_NE(decoder.InitDecoder(stream.data, stream.data + stream.size()), 0);
    for (int v : values) EXPECT_EQ(decoder.DecodeSymbol(), v);
    EXPECT_FALSE(decoder.Overrun());
  }
}
