// Particle groups of the shared reference frame, checked against its recorded expectations.
#include <gtest/gtest.h>

#include <string>

#include "../support/ReferenceFrameCheck.h"
#include "cache/CorvaneFrameData.h"

namespace {

const std::string kTestData = ORV_REFERENCE_DIR;

}  // namespace

TEST(ParticleReferenceFrame, GroupsMatchTheirExpectations) {
  const JsonValue root = ReferenceExpectations(kTestData);
  const JsonValue& frameExpectation = root["v6_particles.orv"];
  ASSERT_FALSE(frameExpectation["groups"].items.empty());
  CorvaneFrameData frame;
  ASSERT_EQ(frame.ImportOrv((kTestData + "v6_particles.orv").c_str(), true, false),
            static_cast<int>(frameExpectation["loadResult"].integer()));
  ExpectRecordedGroups(frame, frameExpectation, kTestData);
}
