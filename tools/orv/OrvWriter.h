// Writer of .orv frame files for tests, samples and benchmarks.
//
// A frame is described in memory (grid, transform, grid channels as float arrays, particle groups,
// the optional header blocks and chunks) and turned into the bytes of one file: start magic,
// header blocks, the chunk section and the footer of the chosen format version. Every structure
// the reader accepts can be produced; the raw hooks at the end of Frame let tests add blocks and
// chunks of their own, including broken ones.
#pragma once

#include <array>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cache/particles/Box.h"
#include "tools/orv/ParticleChannelEncoder.h"

namespace orv::writer {

// How one grid channel's values are stored.
enum class GridStreamKind {
  Raw,        // one zone of raw floats: exact for every bit pattern
  Constant,   // one constant zone: every value must be the same
  Quantised,  // one quantised zone: along the values (version >= 5) or over the x/y/z box (<= 4)
  Zoned,      // a table of zones (magic 0xFC02) over slabs of whole z-planes, raw or quantised
  ZonedAlt,   // the same table under magic 0xFC03
};

struct GridChannel {
  int id = 1;                        // 0..31; 18 is the packed colour channel
  std::vector<float> values;         // nx*ny*nz values, x fastest (every channel but 18)
  std::vector<unsigned int> packed;  // channel 18: one 0x00RRGGBB word per cell
  // Every cell holds this value (kind Constant) or, for channel 18, this packed word: no array of
  // values is needed, so frames of any size can be described.
  std::optional<float> constant;
  std::optional<unsigned int> constantPacked;
  GridStreamKind kind = GridStreamKind::Raw;
  int precisionBits = 12;       // quantised zones: 2^bits steps over the value range
  int predictionOrder = 1;      // quantised zones
  int zoneCount = 3;            // zoned kinds: at most nz
  bool quantiseZones = false;   // zoned kinds: quantised zones instead of raw ones
  int zlibLevel = 6;            // channel 18
};

// One particle channel: its decoded particle-major bytes and how to store them.
struct ParticleChannel {
  int channel = 0;
  std::vector<char> data;             // particles x (4 x words per particle) bytes
  ParticleChannelEncoding encoding;   // chunk groups; block 13 always uses the grid codec
};
ParticleChannel FloatChannel(int channel, const std::vector<float>& values, int method = 0);
ParticleChannel IdChannel(const std::vector<long long>& ids, int method = 0);

struct ParticleGroup {
  std::string name;
  int typeWord = 0;
  int particleCount = -1;  // -1: taken from the position channel (or the ID block)
  std::array<unsigned char, 8> groupValue = {};
  std::vector<ParticleChannel> channels;
  // Older blocks only: IDs written as an entropy-coded ID sub-block (deltas from the previous).
  std::vector<long long> idBlock;
  bool writeTypeWord = true;   // older blocks: the type-word sub-block
  bool writeGroupValue = true; // older blocks: the group-value sub-block
};

// Where the particle groups go.
enum class ParticleLayout {
  Chunks,             // chunk 1002 groups with compressed channels (methods 0..4)
  UncompressedBlock,  // header block 7: raw words from one shared array
  CompressedBlock,    // header block 13: component-major grid-codec streams in one shared array
};

struct ChannelRange {
  int id;
  float low;
  float high;
};
struct ChannelValue {
  int id;
  long long value;
};
struct RawChunk {
  int id = 1005;
  std::vector<char> payload;
  std::optional<long long> declaredSize;  // size field written; default: the payload's size
};

struct SimulationTransforms {  // header block 11
  std::array<float, 12> a = {};
  std::array<float, 12> b = {};
  std::array<float, 12> c = {};
  std::array<unsigned char, 8> tail = {};
};

struct Frame {
  int version = 6;  // footer format version
  int gridSize[3] = {0, 0, 0};
  bool writeGrid = true;  // header block 3
  std::array<float, 12> transform = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
  bool writeTransform = true;             // header block 2
  std::optional<unsigned int> channelMask;  // block 1; default: the bits of the stored channels
  std::vector<GridChannel> channels;

  std::optional<int> frameNumber;                    // block 4
  std::optional<float> timeStep;                     // block 5
  std::optional<std::array<float, 12>> transformA;   // block 6
  std::optional<float> block8;                       // block 8
  std::optional<std::pair<int, float>> block9;       // block 9
  std::optional<std::pair<double, double>> block10;  // block 10
  std::optional<SimulationTransforms> block11;       // block 11
  std::optional<std::vector<char>> simulationHeader; // block 12

  ParticleLayout particleLayout = ParticleLayout::Chunks;
  std::vector<ParticleGroup> groups;
  bool writeSummary = true;               // chunk 1000 whenever there are groups
  std::optional<KUtils::Box> summaryBox;  // default: the box of the positions

  std::optional<std::string> chunkText;  // chunk 1001
  std::vector<ChannelRange> ranges;      // chunk 1003
  std::vector<ChannelValue> values;      // chunk 1004

  // Raw hooks. extraChunks go after the chunks above (for version <= 2 before chunk 1000);
  // trailingChunks after everything, where a version <= 2 reader never looks.
  std::vector<RawChunk> extraChunks;
  std::vector<RawChunk> trailingChunks;
  std::vector<char> extraHeaderBytes;            // header blocks appended before the end tag
  std::optional<std::vector<int>> rawChannelStream;  // replaces the encoded channel stream
  std::optional<int> declaredStreamWords;            // block 3 word count written (default: real)
};

// Offsets of the written structures, for tests that patch a file.
struct Layout {
  long long dataOffset = 0;                 // the chunk-section marker
  std::map<int, long long> headerBlocks;    // tag -> offset of the tag (last one of each)
  std::map<int, long long> chunks;          // id -> offset of the id
  long long streamOffset = -1;              // first word of the channel stream in block 3
  long long footerOffset = 0;
};

// Builds the file. False with a reason in *error for a description that cannot be written
// (values that do not match the grid, an unknown channel, a stream kind the version cannot hold).
bool Write(const Frame& frame, std::vector<char>& out, std::string* error = nullptr,
           Layout* layout = nullptr);
bool WriteFile(const Frame& frame, const std::string& path, std::string* error = nullptr,
               Layout* layout = nullptr);

}  // namespace orv::writer
