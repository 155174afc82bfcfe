#include "plugins/openvdbio/VdbChannelCatalogue.h"

#include <cstring>

#include "plugins/openvdbio/VdbGridTypes.h"

namespace OpenVdbIo {

namespace {

bool addressable(const std::string& name) { return !name.empty() && name.find(';') == std::string::npos; }

void offer(std::vector<VdbChannel>& channels, std::string name, int gridIndex, int component) {
  if (!addressable(name) || FindChannel(channels, name.c_str())) return;
  channels.push_back(VdbChannel{std::move(name), gridIndex, component});
}

}  // namespace

std::vector<VdbChannel> CatalogueChannels(const openvdb::GridPtrVec& grids) {
  static const char* const kComponentSuffix[3] = {".x", ".y", ".z"};
  std::vector<VdbChannel> channels;
  for (size_t g = 0; g < grids.size(); ++g) {
    if (!grids[g]) continue;
    const openvdb::GridBase& grid = *grids[g];
    const std::string name = grid.getName();
    if (name.empty()) continue;
    if (IsScalarGrid(grid)) {
      offer(channels, name, static_cast<int>(g), -1);
    } else if (IsVec3Grid(grid)) {
      for (int c = 0; c < 3; ++c) offer(channels, name + kComponentSuffix[c], static_cast<int>(g), c);
    }
  }
  return channels;
}

const VdbChannel* FindChannel(const std::vector<VdbChannel>& channels, const char* name) {
  if (!name) return nullptr;
  for (const VdbChannel& channel : channels) {
    if (channel.name == name) return &channel;
  }
  return nullptr;
}

}  // namespace OpenVdbIo
