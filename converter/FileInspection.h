// What a cache file holds, for people and scripts: its format, grid, transform, channels (with how
// an .orv file stores them), value ranges when asked, and particle groups. .orv files are read by
// the cache reader, .vdb and .f3d files through the loader's IO plug-ins; .vdb files also list the
// point grids and other grids that no channel reads. Prints nothing.
#pragma once

#include <string>
#include <vector>

#include "converter/IndexToWorld.h"

struct ValueRange {
  bool known = false;  // the values were decoded
  float minimum = 0, maximum = 0;
  double mean = 0;
  long long nonZero = 0;    // cells whose value is not zero
  long long nonFinite = 0;  // NaN or infinite cells, left out of the range and mean
};

struct ChannelInfo {
  int id = -1;                 // the frame's channel id
  std::string name;            // .orv: the channel's name; .vdb, .f3d: the grid it was read from
  long long storedBytes = -1;  // .orv: bytes of its record; -1 for a derived channel
  std::string storage;         // .orv: how the record stores it, or what it is derived from
  ValueRange range;
};

struct ParticleAttributeInfo {
  std::string name;  // "position", "velocity", "id", "channel <n>" or a point attribute's name
  std::string type;  // "float", "int64", "int32", or the attribute's value type
  int components = 1;
};

struct ParticleGroupInfo {
  std::string name;
  long long count = 0;
  std::vector<ParticleAttributeInfo> channels;
};

struct OtherGridInfo {  // a grid of a .vdb file that no channel reads
  std::string name;
  std::string type;
  long long activeVoxels = -1;  // -1 when the file does not say
};

struct FileInfo {
  std::string path;
  std::string format;      // "orv", "vdb" or "f3d"
  int formatVersion = -1;  // the file's own format version; -1 when unknown
  int frameNumber;         // NoFrame when unknown
  int gridSize[3] = {0, 0, 0};
  float worldToGrid[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
  IndexToWorldMatrix indexToWorld;
  double voxelSize[3] = {1, 1, 1};  // lengths of the index axes in world units
  std::vector<ChannelInfo> channels;
  std::vector<ParticleGroupInfo> particleGroups;
  std::vector<OtherGridInfo> otherGrids;
  // Things found wrong while reading a loadable file (a channel that cannot be decoded).
  std::vector<std::string> problems;
};

// Fills info for the file at path; withRanges decodes every channel for its value range. False
// with `reason` when the file cannot be read at all.
bool InspectFile(const std::string& path, bool withRanges, FileInfo& info, std::string& reason);
