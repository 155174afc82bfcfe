#include "converter/ChannelNames.h"

#include "orv/ICorvanePrtGroup.h"

namespace {

constexpr int kPosition = 0, kVelocity = 1, kId = 10;

struct NamedChannel {
  int id;
  const char* name;
};

constexpr NamedChannel kGridChannels[] = {
    {1, "temperature"},
    {2, "smoke"},
    {3, "speed"},
    {4, "velocity x"},
    {5, "velocity y"},
    {6, "velocity z"},
    {7, "colour red"},
    {8, "colour green"},
    {9, "colour blue"},
    {10, "fuel"},
    {14, "wavelet energy"},
    {15, "advection origin x"},
    {16, "advection origin y"},
    {17, "advection origin z"},
    {18, "packed colour"},
    {19, "wavelet u"},
    {20, "wavelet v"},
    {21, "wavelet w"},
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
