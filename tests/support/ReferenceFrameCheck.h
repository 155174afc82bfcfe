// The recorded expectations of the shared reference frames (expected.json beside them), checked
// through the frame's host interface IOrv: by the library's own tests and by a separately built
// host alike.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "orv/IOrv.h"
#include "tests/particles/MiniJson.h"
#include "tests/support/TestFiles.h"

// The expectations of every reference frame in `folder` (ending in a separator), by file name.
inline JsonValue ReferenceExpectations(const std::string& folder) {
  JsonValue root;
  EXPECT_TRUE(JsonReader(ReadWholeFile(folder + "expected.json")).parse(root)) << folder;
  return root;
}

// Grid size, transform, channel presence and every value of every channel.
inline void ExpectRecordedGrid(IOrv& frame, const JsonValue& expected, const std::string& folder) {
  int size[3];
  frame.getGridSize(size);
  for (int a = 0; a < 3; ++a) EXPECT_EQ(size[a], expected["gridSize"].items[a].integer());
  float transform[12];
  frame.getTransform(transform);
  for (int e = 0; e < 12; ++e) {
    EXPECT_FLOAT_EQ(transform[e], std::stof(expected["transform"].items[e].text));
  }
  for (int id = 0; id < 32; ++id) {
    EXPECT_EQ(frame.hasChannel(id), expected["hasChannel"].items[id].integer()) << id;
  }
  const long long voxels = static_cast<long long>(size[0]) * size[1] * size[2];
  for (int id = 0; id < 32; ++id) {
    SCOPED_TRACE(id);
    const JsonValue& channel = expected["channels"][std::to_string(id)];
    const float* values = frame.getChannel(id);
    if (channel.members.empty()) {
      EXPECT_EQ(values, nullptr);
      continue;
    }
    ASSERT_NE(values, nullptr);
    const std::string want = ReadWholeFile(folder + channel["file"].text);
    ASSERT_EQ(static_cast<long long>(want.size()), voxels * 4);
    EXPECT_EQ(std::memcmp(values, want.data(), want.size()), 0);
  }
}

// Every recorded particle group: its count and index, every particle's value of every recorded
// channel, and the recorded id look-ups.
inline void ExpectRecordedGroups(IOrv& frame, const JsonValue& expected, const std::string& folder) {
  for (const JsonValue& recorded : expected["groups"].items) {
    const std::string name = recorded["name"].text;
    SCOPED_TRACE(name);
    ICorvanePrtGroup* group = frame.findParticleGroup(name.c_str());
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->getParticleCount(), recorded["getParticleCount"].integer());
    if (recorded["index"].kind == JsonValue::Number) {
      EXPECT_EQ(frame.getParticleGroup(static_cast<int>(recorded["index"].integer())), group);
    }
    for (const auto& [channelText, channel] : recorded["channels"].members) {
      const int c = std::stoi(channelText);
      SCOPED_TRACE(c);
      const std::string want = ReadWholeFile(folder + channel["file"].text);
      ASSERT_EQ(static_cast<long long>(want.size()), channel["bytes"].integer());
      const int width = group->getChannelByteSize(c);
      ASSERT_GT(width, 0);
      std::string got(want.size(), '\0');
      for (size_t i = 0; i * width < want.size(); ++i) {
        ASSERT_EQ(group->getParticle(static_cast<unsigned>(i), c,
                                     reinterpret_cast<float*>(&got[i * width])),
                  1);
      }
      EXPECT_TRUE(got == want);
    }
    for (const JsonValue& pair : recorded["findParticleById"].items) {
      EXPECT_EQ(group->findParticleById(pair.items[0].integer()), pair.items[1].integer())
          << "id " << pair.items[0].text;
    }
  }
}
