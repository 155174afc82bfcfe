// Decoding a layer's stored values into float arrays.
#pragma once

#include <string>

#include "plugins/field3dio/Field3dContainer.h"
#include "plugins/field3dio/Field3dLayers.h"
#include "plugins/field3dio/ParallelRunner.h"

namespace Field3dIo {

// Where decoded values go: one float array per component (a scalar layer uses the first; null
// arrays are skipped), each covering `box` with x fastest. Only cells that lie in both the box
// and the layer's data window are written.
struct DecodeTarget {
  float* component[3] = {nullptr, nullptr, nullptr};
  VoxelBox box;
};

// Reads and decodes the layer, sharing the work among the runner's jobs: dense rows, sparse blocks
// (any stored order of block ids; empty blocks take their empty value; compressed blocks are
// inflated and must fill their block exactly) and MAC faces (each component the mean of its two
// faces, rounded to the layer's element type as Field3D's own value lookup does). Half, float and
// double values all become floats. False with `reason` when the file is damaged.
bool DecodeLayer(Field3dContainer& file, const Field3dLayer& layer, const DecodeTarget& target,
                 ParallelRunner& runner, std::string& reason);

}  // namespace Field3dIo
