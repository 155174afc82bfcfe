#include "converter/ChannelNames.h"

#include "cache/GridChannelIds.h"
#include "cache/particles/ParticleChannelTable.h"
#include "orv/ICorvanePrtGroup.h"

namespace {

using namespace orv::channels;

constexpr int kPosition = kParticlePositionChannel, kVelocity = kParticleVelocityChannel,
              kId = kParticleIdChannel;

struct NamedChannel {
  int id;
  const char* name;
};

constexpr NamedChannel kGridChannels[] = {
    {kTemperature, "temperature"},
    {kSmoke, "smoke"},
    {kSpeed, "speed"},
    {kVelocityX, "velocity x"},
    {kVelocityY, "velocity y"},
    {kVelocityZ, "velocity z"},
    {kColourRed, "colour red"},
    {kColourGreen, "colour green"},
    {kColourBlue, "colour blue"},
    {kFuel, "fuel"},
    {kWaveletEnergy, "wavelet energy"},
    {kAdvectionOriginX, "advection origin x"},
    {kAdvectionOriginY, "advection origin y"},
    {kAdvectionOriginZ, "advection origin z"},
    {kPackedColour, "packed colour"},
    {kWaveletU, "wavelet u"},
    {kWaveletV, "wavelet v"},
    {kWaveletW, "wavelet w"},
};

}  // namespace

std::string GridChannelName(int id) {
  for (const NamedChannel& channel : kGridChannels) {
    if (channel.id == id) return channel.name;
  }
  return "channel " + std::to_string(id);
}

std::string ParticleAttributeName(int channel) {
  if (channel == kPosition) return "P";
  if (channel == kVelocity) return "v";
  if (channel == kId) return "id";
  return "channel" + std::to_string(channel);
}

std::string ParticleChannelName(int channel) {
  if (channel == kPosition) return "position";
  if (channel == kVelocity) return "velocity";
  if (channel == kId) return "id";
  return "channel " + std::to_string(channel);
}

ParticleValueKind ParticleChannelKind(ICorvanePrtGroup& group, int channel) {
  constexpr int kFloatType = 10, kIdType = 7;
  const int bytes = group.getChannelByteSize(channel);
  const int type = group.getChannelType(channel);
  if (bytes <= 0) return ParticleValueKind::None;
  if (type == kFloatType) return ParticleValueKind::Float;
  if (type == kIdType && bytes == 8) return ParticleValueKind::Int64;
  return bytes == 4 ? ParticleValueKind::Int32 : ParticleValueKind::None;
}

const char* ParticleValueKindName(ParticleValueKind kind) {
  switch (kind) {
    case ParticleValueKind::Float:
      return "float";
    case ParticleValueKind::Int64:
      return "int64";
    case ParticleValueKind::Int32:
      return "int32";
    default:
      return "none";
  }
}
