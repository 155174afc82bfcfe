// Which channel of an import receives each component of each source it reads, the same for every
// IO plug-in: a source (a grid or layer) is read once; the first channel mapped to one of its
// components receives that component, and later channels mapped to the same component are copies.
#pragma once

#include <vector>

#include "cache/CorvaneFrameData.h"
#include "plugins/ParallelRunner.h"

struct MappedSource {
  int channel;
  int source;     // the plug-in's index of the grid or layer
  int component;  // -1 for a scalar, 0..2 for a vector component
};

struct SourceFill {
  int source;
  int channel[3] = {-1, -1, -1};  // the channel receiving each component (a scalar's in [0]), -1: none
};

// One fill per source, in the order of first use.
std::vector<SourceFill> FillsBySource(const std::vector<MappedSource>& mapped);

// The values of a present channel of the frame.
inline float* ChannelValues(CorvaneFrameData& frame, int channel) { return frame.slots[channel].buffer->values.data; }

// After the fills: gives every mapped channel that is a copy its values, and every mapped channel
// its value range (the lowest and highest of its values), shared among the runner's jobs.
void FinishMappedChannels(CorvaneFrameData& frame, const std::vector<MappedSource>& mapped, ParallelRunner& runner);
