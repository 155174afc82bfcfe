// The names Python code uses for grid and particle channels: the names the orv tool shows, with
// '_' for spaces ("temperature", "velocity_x", "channel_11"; "position", "id", "channel_3").
#pragma once

#include <pybind11/pybind11.h>

#include <string>

namespace orvpy {

std::string GridChannelKey(int id);
// The id a key names, or -1.
int GridChannelFromKey(const std::string& key);

std::string ParticleChannelKey(int channel);
int ParticleChannelFromKey(const std::string& key);

// The id an argument names: a key (looked up with fromKey) or a number 0..31. Raises KeyError
// naming `kind` ("grid", "particle") otherwise.
int ChannelIdArgument(const pybind11::handle& key, int (*fromKey)(const std::string&),
                      const char* kind);

}  // namespace orvpy
