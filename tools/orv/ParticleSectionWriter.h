// Particle groups of a frame in their three stored forms: the summary chunk, the chunk of groups
// with compressed channels, and the older header blocks 7 and 13 with their shared word array
// and group sub-blocks.
#pragma once

#include <string>
#include <vector>

#include "tools/orv/OrvWriter.h"

namespace orv::writer {

// The group's particle count: as given, else from its position channel, another channel or its
// ID block.
int GroupParticleCount(const ParticleGroup& group);

// Payload of chunk 1000 (including the trailing int32 the reader skips).
bool SummaryPayload(const Frame& frame, std::vector<char>& out, std::string& error);
// Payload of chunk 1002.
bool GroupChunkPayload(const Frame& frame, std::vector<char>& out, std::string& error);
// Payload of header block 7 (compressed = false) or 13 (compressed = true), without the tag.
bool ParticleBlockPayload(const Frame& frame, bool compressed, std::vector<char>& out,
                          std::string& error);

}  // namespace orv::writer
