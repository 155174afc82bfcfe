#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "codecs/ZipBlock.h"
#include "tests/support/CapturedOutput.h"

TEST(InflateBlock, ExactShortAndCorruptBlocks) {
  std::vector<unsigned char> data(10000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 7 % 251);
  std::vector<unsigned char> packed(compressBound(data.size()));
  uLongf packedSize = packed.size();
  ASSERT_EQ(compress2(packed.data(), &packedSize, data.data(), data.size(), 6), Z_OK);
  std::vector<unsigned char> out(data.size());
  EXPECT_TRUE(InflateBlock(packed.data(), packedSize, out.data(), out.size()));
  EXPECT_EQ(out, data);
  EXPECT_FALSE(InflateBlock(packed.data(), packedSize, out.data(), out.size() - 1));
  EXPECT_FALSE(InflateBlock(packed.data(), packedSize - 3, out.data(), out.size()));
  packed[1] ^= 1;
  EXPECT_FALSE(InflateBlock(packed.data(), packedSize, out.data(), out.size()));
}

// A block inflated in parts cut anywhere gives what inflating it at once gives: the same result,
// the same bytes and the same logged zlib code, whether the block is whole, cut short, damaged,
// or meets a destination too small or too large.
TEST(InflateParts, AnyCutGivesTheWholeInflate) {
  std::vector<unsigned char> data(20000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * i % 253);
  std::vector<unsigned char> packed(compressBound(data.size()));
  uLongf packedSize = packed.size();
  ASSERT_EQ(compress2(packed.data(), &packedSize, data.data(), data.size(), 6), Z_OK);
  packed.resize(packedSize);
  std::mt19937 rng(3);
  for (int trial = 0; trial < 200; ++trial) {
    std::vector<unsigned char> block = packed;
    if (trial % 4 == 1) block.resize(rng() % block.size());
    if (trial % 4 == 2) block[rng() % block.size()] ^= static_cast<unsigned char>(1 + rng() % 255);
    const size_t size = data.size() - 50 + rng() % 100;
    std::vector<unsigned char> whole(size, 0xAA), parts(size, 0xAA);
    LogCapture wholeLog;
    const bool wholeOk = InflateBlock(block.data(), static_cast<unsigned>(block.size()),
                                      whole.data(), static_cast<unsigned>(size));
    const std::vector<std::string> wholeLines = wholeLog.lines();
    LogCapture partsLog;
    InflateParts inflate(block.data(), static_cast<unsigned>(block.size()));
    bool partsOk = true;
    for (size_t done = 0; done < size;) {
      const size_t n = std::min<size_t>(size - done, rng() % 3000);
      unsigned int produced = 0;
      partsOk = inflate.Next(parts.data() + done, static_cast<unsigned>(n), produced) && partsOk;
      done += n;
    }
    partsOk = inflate.Finish() && partsOk;
    EXPECT_EQ(partsOk, wholeOk) << trial;
    EXPECT_EQ(partsLog.lines(), wholeLines) << trial;
    if (wholeOk) {
      EXPECT_EQ(parts, whole) << trial;
    }
  }
}
