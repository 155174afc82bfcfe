// Helpers of the reader tests: frames described in memory, written to a temporary file and read
// back, and small synthetic grids.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "../particles/ParticleTestSupport.h"
#include "../support/TestFiles.h"
#include "cache/CorvaneFrameData.h"
#include "tools/orv/ByteSink.h"
#include "tools/orv/OrvWriter.h"

namespace written {

using namespace orv::writer;

inline std::string tempPath(const std::string& name) { return ProcessTempPath(name); }

inline void saveBytes(const std::string& path, const std::vector<char>& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<long>(bytes.size()));
}

inline std::vector<char> bytesOf(const Frame& description, Layout* layout = nullptr) {
  std::vector<char> bytes;
  std::string error;
  EXPECT_TRUE(Write(description, bytes, &error, layout)) << error;
  return bytes;
}

// Writes bytes to a file of its own and loads it; returns the result code.
inline int load(CorvaneFrameData& frame, const std::vector<char>& bytes, bool infoOnly = false,
                const std::string& name = "written.orv") {
  const std::string path = tempPath(name);
  saveBytes(path, bytes);
  return frame.ImportOrv(path.c_str(), true, infoOnly);
}

inline int load(CorvaneFrameData& frame, const Frame& description, bool infoOnly = false) {
  return load(frame, bytesOf(description), infoOnly);
}

// A varied field over nx*ny*nz cells, x fastest.
inline std::vector<float> field(const int size[3], float scale = 1.0f) {
  std::vector<float> values;
  for (int k = 0; k < size[2]; ++k) {
    for (int j = 0; j < size[1]; ++j) {
      for (int i = 0; i < size[0]; ++i) values.push_back(scale * (0.25f * i - 0.5f * j + k * k));
    }
  }
  return values;
}

inline Frame gridFrame(int version, int nx, int ny, int nz) {
  Frame frame;
  frame.version = version;
  frame.gridSize[0] = nx;
  frame.gridSize[1] = ny;
  frame.gridSize[2] = nz;
  return frame;
}

inline GridChannel channel(int id, std::vector<float> values,
                           GridStreamKind kind = GridStreamKind::Raw) {
  GridChannel c;
  c.id = id;
  c.values = std::move(values);
  c.kind = kind;
  return c;
}

template <typename T>
void patch(std::vector<char>& bytes, long long at, T value) {
  ASSERT_LE(at + static_cast<long long>(sizeof value), static_cast<long long>(bytes.size()));
  std::memcpy(bytes.data() + at, &value, sizeof value);
}

}  // namespace written
