#include <gtest/gtest.h>
#include <zlib.h>

#include <vector>

#include "codecs/ZipBlock.h"

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
