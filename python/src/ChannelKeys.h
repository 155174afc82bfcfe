// The names Python code uses for grid and particle channels: the channels' names with '_' for
// spaces ("temperature", "velocity_x", "channel_11"; "position", "id", "channel_3").
#pragma once

#include <string>

namespace orvpy {

std::string GridChannelKey(int id);
// The id a key names, or -1.
int GridChannelFromKey(const std::string& key);

std::string ParticleChannelKey(int channel);
int ParticleChannelFromKey(const std::string& key);

}  // namespace orvpy
