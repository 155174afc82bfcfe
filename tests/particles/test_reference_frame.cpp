// Particle groups of the shared reference frame, checked against its recorded expectations.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "MiniJson.h"
#include "cache/particles/PGroup.h"

#include "../support/TestFiles.h"
#include "cache/CorvaneFrameData.h"

namespace {

const std::string kTestData = ORV_REFERENCE_DIR;

}  // namespace

TEST(ParticleReferenceFrame, GroupsMatchTheirExpectations) {
  const std::string expectations = ReadWholeFile(kTestData + "expected.json");
  ASSERT_FALSE(expectations.empty());
  JsonValue root;
  ASSERT_TRUE(JsonReader(expectations).parse(root));
  const JsonValue& frameExpectation = root["v6_particles.orv"];
  CorvaneFrameData frame;
  ASSERT_EQ(frame.ImportOrv((kTestData + "v6_particles.orv").c_str(), true, false),
            static_cast<int>(frameExpectation["loadResult"].integer()));
  for (const JsonValue& expected : frameExpectation["groups"].items) {
    const std::string name = expected["name"].text;
    SCOPED_TRACE(name);
    ICorvanePrtGroup* group = frame.findParticleGroup(name.c_str());
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->getParticleCount(), expected["getParticleCount"].integer());
    if (expected["index"].kind == JsonValue::Number) {
      EXPECT_EQ(frame.getParticleGroup(static_cast<int>(expected["index"].integer())), group);
    }
    for (const auto& [channelText, channel] : expected["channels"].members) {
      const int c = std::stoi(channelText);
      SCOPED_TRACE(c);
      const std::string want = ReadWholeFile(kTestData + channel["file"].text);
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
    for (const JsonValue& pair : expected["findParticleById"].items) {
      EXPECT_EQ(group->findParticleById(pair.items[0].integer()), pair.items[1].integer())
          << "id " << pair.items[0].text;
    }
  }
}
