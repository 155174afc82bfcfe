// Grid channel records of the compressed channel stream: channel id, payload length in words,
// then the channel's codec stream (or, for the packed colour channel, a 64-bit byte count and a
// zlib block), padded with zeros to whole words.
#pragma once

#include <string>
#include <vector>

#include "tools/orv/OrvWriter.h"

namespace orv::writer {

// Appends the record of channel to stream. version picks the prediction the decoder will use
// (along the values from 5 on, over the x/y/z box below). False with a reason in error.
bool AppendGridRecord(const GridChannel& channel, const int gridSize[3], int version,
                      std::vector<int>& stream, std::string& error);

}  // namespace orv::writer
