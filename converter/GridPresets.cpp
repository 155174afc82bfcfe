#include "converter/GridPresets.h"

#include "cache/GridChannelIds.h"
#include "converter/ExportedGrids.h"
#include "orv/IOrv.h"

namespace {

using namespace orv::channels;

constexpr int kVelocity[3] = {kVelocityX, kVelocityY, kVelocityZ};
constexpr int kColour[3] = {kColourRed, kColourGreen, kColourBlue};

struct NamedPreset {
  GridPreset preset;
  const char* name;
  const char* velocityGrid;
  const char* colourGrid;
};

constexpr NamedPreset kPresets[] = {
    {GridPreset::Cvn, "cvn", nullptr, nullptr},
    {GridPreset::Blender, "blender", "velocity", "color"},
    {GridPreset::Houdini, "houdini", "vel", "Cd"},
};

const NamedPreset& describe(GridPreset preset) {
  for (const NamedPreset& entry : kPresets) {
    if (entry.preset == preset) return entry;
  }
  return kPresets[0];
}

PresetGrid scalar(const char* name, int channel, GridRole role) {
  PresetGrid grid;
  grid.name = name;
  grid.channels[0] = channel;
  grid.role = role;
  return grid;
}

PresetGrid vector(const char* name, const int (&channels)[3], GridRole role) {
  PresetGrid grid;
  grid.name = name;
  for (int c = 0; c < 3; ++c) grid.channels[c] = channels[c];
  grid.components = 3;
  grid.role = role;
  return grid;
}

bool present(IOrv& frame, const PresetGrid& grid) {
  for (int c = 0; c < grid.components; ++c) {
    if (!frame.hasChannel(grid.channels[c])) return false;
  }
  return true;
}

}  // namespace

std::vector<PresetGrid> SelectPresetGrids(IOrv& frame, GridPreset preset) {
  std::vector<PresetGrid> grids;
  if (preset == GridPreset::Cvn) {
    for (const ExportedGrid& exported : SelectExportedGrids(frame)) {
      grids.push_back(scalar(exported.name, exported.channelId, GridRole::Plain));
    }
    return grids;
  }
  const NamedPreset& names = describe(preset);
  const PresetGrid candidates[] = {
      scalar("density", kSmoke, GridRole::FogVolume),
      scalar("temperature", kTemperature, GridRole::FogVolume),
      scalar("fuel", kFuel, GridRole::FogVolume),
      vector(names.velocityGrid, kVelocity, GridRole::Velocity),
      vector(names.colourGrid, kColour, GridRole::Colour),
  };
  for (const PresetGrid& grid : candidates) {
    if (present(frame, grid)) grids.push_back(grid);
  }
  return grids;
}

bool ParseGridPreset(const std::string& name, GridPreset& preset) {
  for (const NamedPreset& entry : kPresets) {
    if (name == entry.name) {
      preset = entry.preset;
      return true;
    }
  }
  return false;
}

const char* GridPresetName(GridPreset preset) { return describe(preset).name; }
