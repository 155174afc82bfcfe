#include "tests/conversion/FrameFiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

#include "tools/orv/OrvWriter.h"

std::vector<char> ReferenceFrameBytes(const std::string& name) {
  std::ifstream in(std::string(ORV_REFERENCE_DIR) + name, std::ios::binary);
  EXPECT_TRUE(in.good()) << "missing reference frame " << name;
  return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<char>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  EXPECT_TRUE(out.good()) << "cannot write " << path;
}

bool CorruptPackedColourBlock(std::vector<char>& bytes) {
  // A record is: int32 channel id, int32 payload words, then for channel 18 a 64-bit byte count
  // and the zlib block, whose first byte is 0x78 for the usual window size.
  constexpr int32_t kPackedColour = 18;
  for (size_t at = 0; at + 17 <= bytes.size(); ++at) {
    int32_t id, words;
    uint64_t zipBytes;
    std::memcpy(&id, &bytes[at], 4);
    std::memcpy(&words, &bytes[at + 4], 4);
    std::memcpy(&zipBytes, &bytes[at + 8], 8);
    const bool plausible = id == kPackedColour && words > 2 &&
                           zipBytes <= static_cast<uint64_t>(words - 2) * 4 &&
                           static_cast<unsigned char>(bytes[at + 16]) == 0x78;
    if (!plausible) continue;
    // The second header byte carries a check of the first: flipping its low bit breaks it.
    bytes[at + 17] = static_cast<char>(bytes[at + 17] ^ 1);
    return true;
  }
  return false;
}

void WriteFrameBeyondAddressLimit(const std::string& path) {
  orv::writer::Frame large = orv::writer::Frame();
  large.version = 6;
  for (int a = 0; a < 3; ++a) large.gridSize[a] = 512;
  for (int id : {1, 2}) {
    orv::writer::GridChannel constant;
    constant.id = id;
    constant.kind = orv::writer::GridStreamKind::Constant;
    constant.constant = 0.25f;
    large.channels.push_back(constant);
  }
  std::string error;
  EXPECT_TRUE(orv::writer::WriteFile(large, path, &error)) << error;
}
