// The channels an OpenVDB file offers: each float or double grid under its own name, each vec3 grid
// (single or double precision) as three components "<name>.x", "<name>.y", "<name>.z". Grids of
// other value types (int, bool, mask, string, points), unnamed grids and names holding ';' (which a
// mapping string cannot carry) are left out; a name offered twice keeps its first grid, in file
// order.
#pragma once

#include <openvdb/openvdb.h>

#include <string>
#include <vector>

namespace OpenVdbIo {

struct VdbChannel {
  std::string name;
  int gridIndex = -1;  // into the grid list the catalogue was made from
  int component = -1;  // -1 for a scalar grid, 0..2 for a vec3 component
};

// `grids` may hold metadata only (io::File::readAllGridMetadata); only names and types are used.
std::vector<VdbChannel> CatalogueChannels(const openvdb::GridPtrVec& grids);

// The channel called `name` (exact comparison), or null.
const VdbChannel* FindChannel(const std::vector<VdbChannel>& channels, const char* name);

}  // namespace OpenVdbIo
