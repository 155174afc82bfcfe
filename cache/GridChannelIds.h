// The fixed numbering of the grid channels and the names the system gives their grids, one table
// for the converter's grid names and the loader's own channel mapping list.
#pragma once

namespace orv {
namespace channels {

enum GridChannelId : int {
  kTemperature = 1,
  kSmoke = 2,
  kSpeed = 3,  // derived from velocity
  kVelocityX = 4,
  kVelocityY = 5,
  kVelocityZ = 6,
  kColourRed = 7,
  kColourGreen = 8,
  kColourBlue = 9,
  kFuel = 10,
  kWaveletEnergy = 14,
  kAdvectionOriginX = 15,
  kAdvectionOriginY = 16,
  kAdvectionOriginZ = 17,
  kPackedColour = 18,  // 0x00RRGGBB words, split into red, green and blue
  kWaveletU = 19,
  kWaveletV = 20,
  kWaveletW = 21,
};

struct NamedGridChannel {
  int id;
  const char* gridName;
};

// Every channel with a grid name of its own, in the order of the library's own mapping list.
inline constexpr NamedGridChannel kNamedGridChannels[] = {
    {kTemperature, "Temperature_cvn"},
    {kSmoke, "Smoke_cvn"},
    {kVelocityX, "VelocityX_cvn"},
    {kVelocityY, "VelocityY_cvn"},
    {kVelocityZ, "VelocityZ_cvn"},
    {kColourRed, "ColorR_cvn"},
    {kColourGreen, "ColorG_cvn"},
    {kColourBlue, "ColorB_cvn"},
    {kFuel, "Fuel_cvn"},
    {kWaveletEnergy, "WaveletEnergy_cvn"},
    {kWaveletU, "WaveletU_cvn"},
    {kWaveletV, "WaveletV_cvn"},
    {kWaveletW, "WaveletW_cvn"},
    {kAdvectionOriginX, "AdvectionOriginX_cvn"},
    {kAdvectionOriginY, "AdvectionOriginY_cvn"},
    {kAdvectionOriginZ, "AdvectionOriginZ_cvn"},
};

// The grid name of a channel; null for a channel without one.
constexpr const char* GridNameOf(int id) {
  for (const NamedGridChannel& channel : kNamedGridChannels) {
    if (channel.id == id) return channel.gridName;
  }
  return nullptr;
}

}  // namespace channels
}  // namespace orv
