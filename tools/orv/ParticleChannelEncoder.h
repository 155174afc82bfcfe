// Encoders of particle channels for .orv writers: each turns a channel's decoded particle-major
// words into the stored bytes of one compression method.
//
//   0 raw bytes, 1 zlib block, 2 single-zone 1D grid-codec stream in particle order,
//   3 the same in component order, 4 zlib block of bit planes (32 particles per plane word).
#pragma once

#include <vector>

struct ParticleChannelEncoding {
  int method = 0;
  // Methods 2 and 3: >= 20 stores raw floats (exact); 1..19 quantises to 2^bits steps.
  int precisionBits = 32;
  int predictionOrder = 1;
  int zlibLevel = 6;  // methods 1 and 4
};

// Encodes particles x (words per particle of channel) 32-bit words from data into out. False for
// an unknown method, a channel without storage, a size the codecs cannot take or a codec failure.
bool EncodeParticleChannel(const ParticleChannelEncoding& encoding, int channel, const void* data,
                           long long particles, std::vector<char>& out);
