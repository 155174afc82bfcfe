// The vocabulary of the .orv container, named once for the reader, the particle channel decoder
// and the file writer of tools/orv: magics, header-block tags, chunk ids, particle sub-block tags,
// particle channel compression methods and the rules that depend on the format version.
#pragma once

namespace orv {
namespace format {

constexpr char kStartMagic[4] = {'O', 'R', 'V', 'A'};
constexpr int kStartMagicWord = 0x4156524F;  // kStartMagic read as a little-endian int32
constexpr char kFooterMagic[8] = {'O', 'R', 'V', 'A', '2', 'C', 'V', 'N'};

// Header blocks: an int32 tag and its payload; a tag outside 1..13 ends the header section.
enum HeaderTag : int {
  kHeaderEnd = 0,  // what a writer puts after the last block
  kTagChannelMask = 1,
  kTagTransform = 2,
  kTagGrid = 3,  // resolution and the compressed channel stream
  kTagFrameNumber = 4,
  kTagTimeStep = 5,
  kTagTransformA = 6,
  kTagParticleBlock = 7,  // older particle layout, uncompressed channels
  kTagSimulationValue = 8,
  kTagSimulationWord = 9,
  kTagSimulationDoubles = 10,
  kTagTransforms = 11,
  kTagSimulationHeader = 12,
  kTagCompressedParticleBlock = 13,  // older particle layout, grid-codec channels
};
constexpr int kFirstHeaderTag = kTagChannelMask;
constexpr int kLastHeaderTag = kTagCompressedParticleBlock;

// Sub-blocks of a group in a particle block; 0 ends the group.
enum ParticleSubBlock : int {
  kSubBlockEnd = 0,
  kSubBlockTypeWord = 1,
  kSubBlockIds = 2,
  kSubBlockGroupValue = 3,
};

// Chunks: an int32 id, a size (int32 or int64 by version) and the payload.
enum ChunkId : int {
  kChunkParticleSummary = 1000,
  kChunkText = 1001,
  kChunkParticleGroups = 1002,
  kChunkChannelRanges = 1003,
  kChunkChannelValues = 1004,
  kChunkEnd = 9999999,  // ends the chunk section; carries no size
};

// How a particle channel of chunk 1002 is stored.
enum ParticleMethod : int {
  kMethodRaw = 0,                // the decoded bytes themselves
  kMethodZip = 1,                // one zip block of the decoded bytes
  kMethodCodecParticleMajor = 2,  // one grid-codec stream in particle order
  kMethodCodecComponentMajor = 3,  // one grid-codec stream in component order
  kMethodZipBitPlanes = 4,       // one zip block of bit planes
};
constexpr int kLastParticleMethod = kMethodZipBitPlanes;

// Versions up to 3 store a 32-bit data offset and 32-bit chunk sizes; later ones 64-bit.
inline bool HasWideSizes(int version) { return version >= 4; }
// Versions up to 2 end the chunk section right after the particle summary.
inline bool EndsAfterSummary(int version) { return version <= 2; }
// Versions up to 4 store grid channels for the three-dimensional codec; later ones for the
// one-dimensional codec.
inline bool UsesBoxCodec(int version) { return version <= 4; }

}  // namespace format
}  // namespace orv
