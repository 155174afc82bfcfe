#include "loader/ChannelMappings.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "cache/GridChannelIds.h"

namespace CorvaneMappings {

namespace {

struct NamedChannel {
  int id;
  const char* name;
};

constexpr NamedChannel kOpenVdbRules[] = {
    {1, "temperature"}, {1, "fluid_density"}, {1, "surface"}, {1, "Temperature"},
    {1, "particle_count_per_cell"},
    {2, "density"},     {2, "Smoke"},
    {4, "vel.x"},       {4, "vel(x)"},        {4, "V(x)"},    {4, "VelocitiesX"}, {4, "velocity_x"},
    {5, "vel.y"},       {5, "vel(y)"},        {5, "V(y)"},    {5, "VelocitiesZ"}, {5, "velocity_y"},
    {6, "vel.z"},       {6, "vel(z)"},        {6, "V(z)"},    {6, "VelocitiesY"}, {6, "velocity_z"},
    {7, "color(x)"},    {7, "Cd(x)"},         {7, "Cd.x"},    {7, "ColorR"},      {7, "rest.x"},
    {8, "color(y)"},    {8, "Cd(y)"},         {8, "Cd.y"},    {8, "ColorG"},      {8, "rest.y"},
    {9, "color(z)"},    {9, "Cd(z)"},         {9, "Cd.z"},    {9, "ColorB"},      {9, "rest.z"},
    {10, "FireFuel"},   {10, "fuel"},
};

constexpr NamedChannel kField3dRules[] = {
    {1, "temperature"},      {1, "Temperature"},      {1, "particle_count_per_cell"},
    {2, "density"},          {2, "Smoke"},            {2, "Density"},
    {4, "v_mac(x)"},         {4, "velocity(x)"},      {4, "VelocitiesZ"},
    {4, "fluid_velocity(x)"}, {4, "Velocity(x)"},
    {5, "v_mac(y)"},         {5, "velocity(Y)"},      {5, "VelocitiesY"},
    {5, "fluid_velocity(y)"}, {5, "Velocity(y)"},
    {6, "v_mac(z)"},         {6, "velocity(Z)"},      {6, "VelocitiesX"},
    {6, "fluid_velocity(z)"}, {6, "Velocity(z)"},
    {7, "ColorR"},           {7, "TextureCoord(x)"},
    {8, "ColorG"},           {8, "TextureCoord(y)"},
    {9, "ColorB"},           {9, "TextureCoord(z)"},
    {10, "fuel"},            {10, "FireFuel"},
};

template <size_t N>
int findRule(const NamedChannel (&table)[N], const char* name) {
  for (const NamedChannel& rule : table) {
    if (std::strcmp(rule.name, name) == 0) return rule.id;
  }
  return -1;
}

// The channel whose own grid name (the converter's) is `name`; -1 for none.
int ownChannelOf(const char* name) {
  for (const orv::channels::NamedGridChannel& channel : orv::channels::kNamedGridChannels) {
    if (std::strcmp(channel.gridName, name) == 0) return channel.id;
  }
  return -1;
}

// The id text of an entry read as atoi would, clamped to the int range instead of overflowing.
int parseId(const std::string& text) {
  errno = 0;
  const long value = std::strtol(text.c_str(), nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

bool appendMapping(GridMappingArray& out, const char* name, size_t length, int id) {
  CacheIO::GridMapping entry;
  if (!entry.name.assign(name, length)) return false;
  entry.channel = id;
  entry.scale = 1.0f;
  return out.Append(std::move(entry));
}

}  // namespace

bool ParseChannelMappings(const char* text, GridMappingArray& out) {
  out.Clear();
  if (!text) return true;
  const char* cursor = text;
  while (*cursor) {
    const char* comma = std::strchr(cursor, ',');
    const char* idEnd = comma ? comma : cursor + std::strlen(cursor);
    const int id = parseId(std::string(cursor, idEnd));
    cursor = comma ? comma + 1 : idEnd;
    const char* semicolon = std::strchr(cursor, ';');
    const char* nameEnd = semicolon ? semicolon : cursor + std::strlen(cursor);
    if (!appendMapping(out, cursor, static_cast<size_t>(nameEnd - cursor), id)) {
      out.Clear();
      return false;
    }
    cursor = semicolon ? semicolon + 1 : nameEnd;
  }
  return true;
}

std::string FormatChannelMappings(const GridMappingArray& mappings) {
  std::string text;
  for (const CacheIO::GridMapping& entry : mappings) {
    text += std::to_string(entry.channel);
    text += ',';
    text += entry.name.c_str();
    text += ';';
  }
  return text;
}

std::string OwnChannelMappings() {
  std::string text;
  for (const orv::channels::NamedGridChannel& entry : orv::channels::kNamedGridChannels) {
    text += std::to_string(entry.id) + ',' + entry.gridName + ';';
  }
  return text;
}

std::string MappingsFromRules(const std::string& extension,
                              const CacheIO::AvailableChannelArray& available) {
  const bool openVdb = extension == "vdb";
  if (!openVdb && extension != "f3d") return std::string();
  std::string text;
  bool hasDensity = false;
  const CacheIO::AvailableChannels* fallback = nullptr;
  for (const CacheIO::AvailableChannels& grid : available) {
    const char* name = grid.name.c_str();
    int id = -1;
    if (openVdb) {
      id = ownChannelOf(name);
      if (id < 0) id = findRule(kOpenVdbRules, name);
    } else {
      id = findRule(kField3dRules, name);
    }
    if (id < 0) {
      if (!fallback && grid.flag == 0) fallback = &grid;
      continue;
    }
    hasDensity = hasDensity || id == 2;
    text += std::to_string(id) + ',' + name + ';';
  }
  if (!hasDensity && fallback) text += std::string("2,") + fallback->name.c_str() + ';';
  return text;
}

int CopyBounded(char* out, int size, const char* text) {
  if (!text) text = "";
  const size_t length = std::strlen(text);
  if (out && size > 0) {
    const size_t copied = length < static_cast<size_t>(size) ? length : static_cast<size_t>(size) - 1;
    std::memcpy(out, text, copied);
    out[copied] = '\0';
  }
  return size > 0 && length < static_cast<size_t>(size) ? 1 : 0;
}

}  // namespace CorvaneMappings
