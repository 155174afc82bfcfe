// Names people and other programs see for a frame's grid channels and particle channels.
#pragma once

#include <string>

// "temperature", "smoke", "velocity x", ... for the channel ids with a role; "channel <id>" for
// the others.
std::string GridChannelName(int id);

// The attribute a particle channel becomes in a point grid: "P" (position), "v" (velocity),
// "id", or "channel<n>".
std::string ParticleAttributeName(int channel);

// "position", "velocity", "id" or "channel <n>".
std::string ParticleChannelName(int channel);

class ICorvanePrtGroup;

// How one particle value of a channel is stored, from the group's type code and byte size.
enum class ParticleValueKind {
  None,   // the channel holds no data
  Float,  // 32-bit floats (type code 10), one or three per particle
  Int64,  // the ID channel (type code 7)
  Int32,  // 32-bit words: type code 6, or untyped (0) words kept as their bit pattern
};
ParticleValueKind ParticleChannelKind(ICorvanePrtGroup& group, int channel);
const char* ParticleValueKindName(ParticleValueKind kind);
