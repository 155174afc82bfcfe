// Frees a frame's decoded channel arrays as the export finishes with them, so that a conversion
// holds each channel either decoded or as a grid, not both at once: the peak memory of a frame's
// conversion is then about its grids plus one decoded channel, instead of twice the channels.
#pragma once

#include "converter/VdbExport.h"

// Drops a channel's decoded values only from a loaded cache frame (CorvaneFrameData) that the
// caller alone holds (one reference) and whose array is shared with no other frame; anything else
// is left as it is. A later getChannel decodes the channel again.
class DecodedChannelRelease : public ExportedChannelRelease {
 public:
  void channelBuilt(IOrv& frame, int channelId) override;
};
