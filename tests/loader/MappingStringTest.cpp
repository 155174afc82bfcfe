// Channel mapping strings through the exported functions and the internal parser and rules.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "loader/ChannelMappings.h"
#include "orv/OrvLoader.h"

namespace {

using CorvaneMappings::GridMappingArray;

CacheIO::AvailableChannelArray grids(std::initializer_list<std::pair<const char*, int>> list) {
  CacheIO::AvailableChannelArray out;
  for (const auto& entry : list) {
    CacheIO::AvailableChannels grid;
    grid.name.assign(entry.first);
    grid.flag = static_cast<unsigned char>(entry.second);
    out.Append(grid);
  }
  return out;
}

TEST(ComposeMappings, BuildsEntriesInOrderAndReportsTruncation) {
  int ids[] = {2, 1};
  const char* names[] = {"density", "temperature"};
  char out[64];
  EXPECT_EQ(orvComposeChannelMappingsString(out, sizeof out, ids, names, 2), 1);
  EXPECT_STREQ(out, "2,density;1,temperature;");
  EXPECT_EQ(orvComposeChannelMappingsString(out, 10, ids, names, 2), 0);
  EXPECT_STREQ(out, "2,density");
  // Exactly the length: one character short of fitting with its terminator.
  EXPECT_EQ(orvComposeChannelMappingsString(out, 24, ids, names, 2), 0);
  EXPECT_EQ(orvComposeChannelMappingsString(out, 25, ids, names, 2), 1);
}

TEST(ComposeMappings, EmptyAndUntouchedBuffers) {
  char out[4] = {'x', 'x', 'x', 0};
  EXPECT_EQ(orvComposeChannelMappingsString(out, 1, nullptr, nullptr, 0), 1);
  EXPECT_STREQ(out, "");
  char untouched[4] = {'a', 'b', 'c', 0};
  int ids[] = {1};
  const char* names[] = {"t"};
  EXPECT_EQ(orvComposeChannelMappingsString(untouched, 0, ids, names, 1), 0);
  EXPECT_STREQ(untouched, "abc");
}

TEST(DecomposeMappings, ReadsEntriesByIndex) {
  int id = -5;
  char name[32];
  EXPECT_EQ(orvDecomposeChannelMappingsString(&id, name, sizeof name, "2,density;1,temperature;", 1), 1);
  EXPECT_EQ(id, 1);
  EXPECT_STREQ(name, "temperature");
  id = -5;
  EXPECT_EQ(orvDecomposeChannelMappingsString(&id, name, sizeof name, "2,density;1,temperature;", 2), -1);
  EXPECT_EQ(orvDecomposeChannelMappingsString(&id, name, sizeof name, "2,density;", -1), -1);
  EXPECT_EQ(id, -5);
  EXPECT_EQ(orvDecomposeChannelMappingsString(&id, name, 4, "2,density;", 0), 0);
  EXPECT_STREQ(name, "den");
  EXPECT_EQ(orvDecomposeChannelMappingsString(&id, name, sizeof name, "x,density;", 0), 1);
  EXPECT_EQ(id, 0);
  EXPECT_EQ(orvDecomposeChannelMappingsString(&id, name, sizeof name, nullptr, 0), -1);
}

TEST(ParseMappings, RoundTripsAndSetsUnitScale) {
  GridMappingArray parsed;
  ASSERT_TRUE(CorvaneMappings::ParseChannelMappings("4,vel.x;10,fuel;", parsed));
  ASSERT_EQ(parsed.size(), 2);
  EXPECT_EQ(parsed[0].channel, 4);
  EXPECT_STREQ(parsed[1].name.c_str(), "fuel");
  EXPECT_EQ(parsed[1].scale, 1.0f);
  EXPECT_EQ(CorvaneMappings::FormatChannelMappings(parsed), "4,vel.x;10,fuel;");
  // A last entry without its ';' still counts; an id out of range is clamped, not overflowed.
  ASSERT_TRUE(CorvaneMappings::ParseChannelMappings("99999999999,a;3,b", parsed));
  ASSERT_EQ(parsed.size(), 2);
  EXPECT_EQ(parsed[0].channel, 2147483647);
  EXPECT_STREQ(parsed[1].name.c_str(), "b");
}

TEST(ParseMappings, AnyBytesStayInBounds) {
  std::mt19937 random(7);
  const char alphabet[] = ",;0123456789-+ ab\xff";
  for (int round = 0; round < 2000; ++round) {
    std::string text(random() % 40, ' ');
    for (char& c : text) c = alphabet[random() % (sizeof alphabet - 1)];
    GridMappingArray parsed;
    ASSERT_TRUE(CorvaneMappings::ParseChannelMappings(text.c_str(), parsed));
    size_t nameBytes = 0;
    for (const auto& entry : parsed) nameBytes += std::strlen(entry.name.c_str());
    EXPECT_LE(nameBytes, text.size());
    int id = 0;
    char name[8];
    for (int k = 0; k <= parsed.size(); ++k) {
      const int result = orvDecomposeChannelMappingsString(&id, name, sizeof name, text.c_str(), k);
      EXPECT_EQ(result == -1, k == parsed.size());
    }
  }
}

TEST(ParseMappings, RandomBytesRoundTripThroughEveryStringFunction) {
  std::mt19937 random(23);
  for (int round = 0; round < 3000; ++round) {
    std::string text(random() % 64, ' ');
    for (char& c : text) c = static_cast<char>(1 + random() % 255);
    GridMappingArray parsed;
    ASSERT_TRUE(CorvaneMappings::ParseChannelMappings(text.c_str(), parsed));
    // Every entry consumed at least its ';' or the end, so there are no more entries than bytes.
    ASSERT_LE(static_cast<size_t>(parsed.size()), text.size());
    std::vector<int> ids;
    std::vector<std::string> names;
    for (const auto& entry : parsed) {
      ids.push_back(entry.channel);
      names.emplace_back(entry.name.c_str());
      EXPECT_EQ(names.back().find(';'), std::string::npos);
    }
    std::vector<const char*> namePointers;
    for (const std::string& name : names) namePointers.push_back(name.c_str());
    // Composed again, the entries parse back to themselves.
    std::vector<char> composed(text.size() * 4 + 64);
    ASSERT_EQ(orvComposeChannelMappingsString(composed.data(), static_cast<int>(composed.size()), ids.data(),
                                              namePointers.data(), static_cast<int>(ids.size())), 1);
    GridMappingArray again;
    ASSERT_TRUE(CorvaneMappings::ParseChannelMappings(composed.data(), again));
    ASSERT_EQ(again.size(), parsed.size());
    for (int k = 0; k < again.size(); ++k) {
      EXPECT_EQ(again[k].channel, ids[k]);
      EXPECT_EQ(names[k], again[k].name.c_str());
    }
    // Small buffers: truncated, terminated, never overrun.
    const int size = static_cast<int>(random() % 6);
    std::vector<char> small(static_cast<size_t>(size) + 1, '\x7f');
    int id = 0;
    const int result = orvDecomposeChannelMappingsString(&id, small.data(), size, text.c_str(), 0);
    EXPECT_EQ(small[static_cast<size_t>(size)], '\x7f');
    if (result >= 0 && size > 0) {
      EXPECT_LT(std::strlen(small.data()), static_cast<size_t>(size));
    }
  }
}

TEST(OwnList, MatchesTheConverterGridNames) {
  const std::string own = CorvaneMappings::OwnChannelMappings();
  EXPECT_EQ(own.rfind("1,Temperature_cvn;2,Smoke_cvn;4,VelocityX_cvn;", 0), 0u);
  EXPECT_EQ(own.substr(own.size() - 24), "17,AdvectionOriginZ_cvn;");
  GridMappingArray parsed;
  ASSERT_TRUE(CorvaneMappings::ParseChannelMappings(own.c_str(), parsed));
  EXPECT_EQ(parsed.size(), 16);
}

TEST(MappingRules, OpenVdbNamesAndDensityFallback) {
  EXPECT_EQ(CorvaneMappings::MappingsFromRules(
                "vdb", grids({{"density", 0}, {"vel.x", 1}, {"vel.y", 1}, {"vel.z", 1}, {"heat", 0}})),
            "2,density;4,vel.x;5,vel.y;6,vel.z;");
  EXPECT_EQ(CorvaneMappings::MappingsFromRules("vdb", grids({{"heat", 0}, {"vel.x", 1}})),
            "4,vel.x;2,heat;");
  // Only flag-0 grids may stand in for density.
  EXPECT_EQ(CorvaneMappings::MappingsFromRules("vdb", grids({{"v.x", 1}, {"fuel", 0}})),
            "10,fuel;");
  EXPECT_EQ(CorvaneMappings::MappingsFromRules("vdb", grids({{"Smoke_cvn", 0}, {"VelocitiesY", 0}})),
            "2,Smoke_cvn;6,VelocitiesY;");
  EXPECT_EQ(CorvaneMappings::MappingsFromRules("orv", grids({{"density", 0}})), "");
}

TEST(MappingRules, Field3dPlacesVelocitiesDifferently) {
  EXPECT_EQ(CorvaneMappings::MappingsFromRules(
                "f3d", grids({{"VelocitiesX", 0}, {"VelocitiesY", 0}, {"VelocitiesZ", 0}})),
            "6,VelocitiesX;5,VelocitiesY;4,VelocitiesZ;");
  // The library's own names are not Field3D rules: Temperature_cvn maps to nothing.
  EXPECT_EQ(CorvaneMappings::MappingsFromRules("f3d", grids({{"Temperature_cvn", 0}, {"Density", 0}})),
            "2,Density;");
}

}  // namespace
