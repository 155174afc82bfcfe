// Decoding a sparse layer: its block tables read on the calling thread, its blocks inflated and
// placed by the runner's jobs.
#pragma once

#include <string>

#include "plugins/field3dio/LayerDecode.h"

namespace Field3dIo {

// DecodeLayer for a sparse layer.
bool DecodeSparseLayer(Field3dContainer& file, const Field3dLayer& layer, const DecodeTarget& target,
                       ParallelRunner& runner, std::string& reason);

}  // namespace Field3dIo
