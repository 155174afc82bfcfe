// The grid names under which a Field3D file's layers are offered and mapped.
//
// A scalar layer is offered under its layer name (flag 0); a vector or MAC layer as its three
// components "<layer>(x)", "<layer>(y)", "<layer>(z)" (flag 1). A layer name that occurs in more
// than one partition is qualified with the partition's group name, "<partition>/<layer>"
// ("fluid.1/density", "fluid.0/vel(x)"), so that every name in a file is unique. Names holding ';'
// cannot travel in a mapping string and are not offered; of two layers that would share a name
// (possible only in a damaged file) the first keeps it.
#pragma once

#include <string>
#include <vector>

#include "plugins/field3dio/Field3dLayers.h"

namespace Field3dIo {

struct Field3dChannel {
  std::string name;
  int layer = -1;       // index into the layer list the channels were named from
  int component = -1;   // -1 for a scalar layer, 0..2 for a vector component
};

// The channels of `layers`, in layer order; names that cannot be offered are appended to `skipped`.
std::vector<Field3dChannel> NameChannels(const std::vector<Field3dLayer>& layers, std::vector<std::string>& skipped);

// The channel called `name` (exact comparison), or null.
const Field3dChannel* FindChannel(const std::vector<Field3dChannel>& channels, const char* name);

}  // namespace Field3dIo
