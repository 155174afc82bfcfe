// Hostile inputs that once hung, crashed or over-allocated, checked through the public interfaces
// with the result each must now give.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <cstring>
#include <vector>

#include "codecs/EntropyCoder.h"
#include "codecs/SGCompressor.h"

namespace {

template <typename T>
void put(std::vector<char>& out, T value) {
  const char* bytes = reinterpret_cast<const char*>(&value);
  out.insert(out.end(), bytes, bytes + sizeof value);
}

double secondsFor(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

// A box zone with one empty axis holds no values, however long its other axes claim to be: it
// decodes at once and writes nothing.
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
  int result = -1;
  const double seconds = secondsFor([&] {
    result = codec.Decompress(stream.data(), stream.size(), destination.data(), 8);
  });
  EXPECT_LT(seconds, 1.0);
  EXPECT_EQ(result, 1);
  for (float v : destination) EXPECT_EQ(v, 7.0f);
}
