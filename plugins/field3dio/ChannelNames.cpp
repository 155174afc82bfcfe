#include "plugins/field3dio/ChannelNames.h"

#include <map>
#include <set>

namespace Field3dIo {

std::vector<Field3dChannel> NameChannels(const std::vector<Field3dLayer>& layers, std::vector<std::string>& skipped) {
  std::map<std::string, std::set<std::string>> partitionsOfName;
  for (const Field3dLayer& layer : layers) partitionsOfName[layer.name].insert(layer.partition);

  static const char* const kSuffixes[3] = {"(x)", "(y)", "(z)"};
  std::vector<Field3dChannel> channels;
  std::set<std::string> taken;
  for (size_t l = 0; l < layers.size(); ++l) {
    const Field3dLayer& layer = layers[l];
    const std::string base =
        partitionsOfName[layer.name].size() > 1 ? layer.partition + "/" + layer.name : layer.name;
    const int components = layer.components == 3 ? 3 : 1;
    for (int c = 0; c < components; ++c) {
      Field3dChannel channel;
      channel.name = components == 3 ? base + kSuffixes[c] : base;
      channel.layer = static_cast<int>(l);
      channel.component = components == 3 ? c : -1;
      if (channel.name.find(';') != std::string::npos) {
        skipped.push_back("grid " + channel.name + ": a mapping string cannot carry its name");
      } else if (!taken.insert(channel.name).second) {
        skipped.push_back("grid " + channel.name + ": the name is already taken by an earlier layer");
      } else {
        channels.push_back(std::move(channel));
      }
    }
  }
  return channels;
}

const Field3dChannel* FindChannel(const std::vector<Field3dChannel>& channels, const char* name) {
  for (const Field3dChannel& channel : channels) {
    if (channel.name == name) return &channel;
  }
  return nullptr;
}

}  // namespace Field3dIo
