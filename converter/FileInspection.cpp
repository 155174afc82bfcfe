#include "converter/FileInspection.h"

#include <climits>
#include <cmath>
#include <map>
#include <set>

#include "cache/CorvaneFrameData.h"
#include "codecs/GridStreamKind.h"
#include "converter/ChannelNames.h"
#include "converter/DecodedChannelRelease.h"
#include "converter/FrameLoading.h"
#include "converter/VdbFileListing.h"
#include "loader/ChannelMappings.h"
#include "loader/EnumFiles.h"
#include "support/FramePattern.h"
#include "support/platform/Platform.h"

namespace {

constexpr int kSpeed = 3, kRed = 7, kPackedColour = 18;
// Channels a grid of a plug-in file may fill without a role of its own: never the derived speed,
// the velocity components (kept only as a complete triple), the packed colour or the mask marker.
constexpr int kFreeChannels[] = {0,  11, 12, 13, 14, 15, 16, 17, 19, 20, 21, 22, 23,
                                 24, 25, 26, 27, 28, 29, 30, 1,  2,  10, 7,  8,  9};

// A mapping that reads every grid the plug-in reports: a grid the default rules name keeps their
// channel, any other gets a free channel. gridOfChannel receives the grid name of each channel.
std::string everyGridMapping(const std::string& path, std::map<int, std::string>& gridOfChannel) {
  const std::unique_lock<std::mutex> lock = LockPlugins();
  CacheIO::AvailableChannelArray available;
  CorvaneEnum::CollectAvailableChannels(path.c_str(), available);
  CorvaneMappings::GridMappingArray defaults;
  CorvaneMappings::ParseChannelMappings(DefaultChannelMappings(path.c_str()).c_str(), defaults);
  std::map<std::string, int> ruleChannel;
  for (const CacheIO::GridMapping& mapping : defaults) {
    ruleChannel.emplace(mapping.name.c_str(), mapping.channel);
  }
  std::set<int> used;
  std::vector<std::pair<std::string, int>> unassigned;
  for (const CacheIO::AvailableChannels& grid : available) {
    const auto rule = ruleChannel.find(grid.name.c_str());
    if (rule != ruleChannel.end() && used.insert(rule->second).second) {
      gridOfChannel[rule->second] = grid.name.c_str();
    } else {
      unassigned.emplace_back(grid.name.c_str(), -1);
    }
  }
  size_t next = 0;
  for (auto& grid : unassigned) {
    while (next < sizeof kFreeChannels / sizeof *kFreeChannels && used.count(kFreeChannels[next])) {
      ++next;
    }
    if (next == sizeof kFreeChannels / sizeof *kFreeChannels) break;  // more grids than channels
    used.insert(kFreeChannels[next]);
    gridOfChannel[kFreeChannels[next]] = grid.first;
  }
  std::string text;
  for (const auto& entry : gridOfChannel) {
    text += std::to_string(entry.first) + "," + entry.second + ";";
  }
  return text;
}

// The grid name of each channel under the default mappings of path.
std::map<int, std::string> defaultGridOfChannel(const std::string& path) {
  const std::unique_lock<std::mutex> lock = LockPlugins();
  CorvaneMappings::GridMappingArray defaults;
  CorvaneMappings::ParseChannelMappings(DefaultChannelMappings(path.c_str()).c_str(), defaults);
  std::map<int, std::string> gridOfChannel;
  for (const CacheIO::GridMapping& mapping : defaults) {
    gridOfChannel.emplace(mapping.channel, mapping.name.c_str());
  }
  return gridOfChannel;
}

ValueRange rangeOf(const float* values, long long count) {
  ValueRange range;
  range.known = true;
  double sum = 0;
  long long finite = 0;
  for (long long c = 0; c < count; ++c) {
    const float value = values[c];
    if (value != 0.0f) ++range.nonZero;
    if (!std::isfinite(value)) {
      ++range.nonFinite;
      continue;
    }
    if (finite == 0 || value < range.minimum) range.minimum = value;
    if (finite == 0 || value > range.maximum) range.maximum = value;
    sum += value;
    ++finite;
  }
  range.mean = finite > 0 ? sum / static_cast<double>(finite) : 0.0;
  return range;
}

// How an .orv frame holds channel id: its record's size and stream kind, or what derives it.
void describeStorage(const CorvaneFrameData& frame, ChannelInfo& channel) {
  const unsigned char* payload = nullptr;
  long long bytes = 0;
  if (frame.storedPayload(channel.id, payload, bytes)) {
    channel.storedBytes = bytes;
    channel.storage = channel.id == kPackedColour
                          ? "zip block"
                          : DescribeGridStream(payload, static_cast<unsigned long long>(bytes));
  } else if (channel.id == kSpeed) {
    channel.storage = "derived from velocity";
  } else if (channel.id >= kRed && channel.id < kRed + 3) {
    channel.storage = "derived from packed colour";
  }
}

void describeGrid(CorvaneFrameData& frame, FileInfo& info) {
  frame.getGridSize(info.gridSize);
  frame.getTransform(info.worldToGrid);
  info.indexToWorld = IndexToWorldFromFrameTransform(info.worldToGrid);
  for (int axis = 0; axis < 3; ++axis) {
    const double* row = info.indexToWorld.m[axis];
    info.voxelSize[axis] = std::sqrt(row[0] * row[0] + row[1] * row[1] + row[2] * row[2]);
  }
  if (frame.frameNumber != INT_MIN) info.frameNumber = frame.frameNumber;
  if (info.format == "orv" && frame.formatVersion != INT_MAX) {
    info.formatVersion = frame.formatVersion;
  }
}

void describeChannels(CorvaneFrameData& frame, const std::map<int, std::string>& gridOfChannel,
                      bool withRanges, FileInfo& info) {
  const bool cache = info.format == "orv";
  // The frame is this inspection's alone: each channel's values are freed once measured.
  frame.referenceCount = 1;
  DecodedChannelRelease release;
  for (int id = 0; id < CorvaneFrameData::kChannelCount; ++id) {
    const unsigned char* payload = nullptr;
    long long bytes = 0;
    const bool storedPackedColour = id == kPackedColour && frame.storedPayload(id, payload, bytes);
    if (!frame.hasChannel(id) && !(cache && storedPackedColour)) continue;
    ChannelInfo channel;
    channel.id = id;
    const auto grid = gridOfChannel.find(id);
    channel.name = grid != gridOfChannel.end() ? grid->second : GridChannelName(id);
    if (cache) describeStorage(frame, channel);
    if (withRanges && id != kPackedColour) {
      const float* values = frame.getChannel(id);
      if (values) {
        channel.range = rangeOf(values, frame.voxelCount());
      } else {
        info.problems.push_back("the " + channel.name + " channel cannot be decoded");
      }
    }
    info.channels.push_back(channel);
  }
  // Released after all are measured: a derived channel reads the channels it comes from.
  for (const ChannelInfo& channel : info.channels) release.channelBuilt(frame, channel.id);
}

void describeParticles(CorvaneFrameData& frame, FileInfo& info) {
  for (int g = 0; g < frame.getParticleGroupCount(); ++g) {
    ICorvanePrtGroup* group = frame.getParticleGroup(g);
    if (!group) continue;
    ParticleGroupInfo described;
    described.name = group->getName() ? group->getName() : "";
    described.count = group->getParticleCount();
    for (int c = 0; c < CorvaneFrameData::kChannelCount; ++c) {
      if (!group->hasChannel(c)) continue;
      described.channels.push_back({ParticleChannelName(c),
                                    ParticleValueKindName(ParticleChannelKind(*group, c)),
                                    group->getChannelComponents(c)});
    }
    info.particleGroups.push_back(described);
  }
}

// The format version of a .vdb file, its point grids as particle groups and the grids no channel
// reads.
void describeVdbFile(const std::map<int, std::string>& gridOfChannel, FileInfo& info) {
  VdbFileListing listing;
  std::string reason;
  if (!ListVdbFile(info.path, listing, reason)) {
    info.problems.push_back("the OpenVDB library cannot list the file: " + reason);
    return;
  }
  info.formatVersion = listing.formatVersion;
  std::set<std::string> read;
  for (const auto& entry : gridOfChannel) {
    // A vector grid is read as its components "<name>.x", ".y", ".z".
    const std::string& name = entry.second;
    const size_t dot = name.rfind('.');
    read.insert(name);
    if (dot != std::string::npos) read.insert(name.substr(0, dot));
  }
  for (const OtherGridInfo& grid : listing.grids) {
    if (!read.count(grid.name)) info.otherGrids.push_back(grid);
  }
  info.particleGroups = listing.pointGrids;
}

}  // namespace

bool InspectFile(const std::string& path, bool withRanges, FileInfo& info, std::string& reason) {
  info = FileInfo();
  info.path = path;
  info.format = LowerExtension(path.c_str());
  info.frameNumber = NoFrame;
  info.indexToWorld = IndexToWorldFromFrameTransform(info.worldToGrid);
  if (!orv::platform::FileAccessible(path.c_str(), orv::platform::Access::Read)) {
    reason = orv::platform::FileAccessible(path.c_str(), orv::platform::Access::Exists)
                 ? "the file cannot be read"
                 : "no such file";
    return false;
  }
  std::map<int, std::string> gridOfChannel;
  const bool plugin = ReadThroughPlugin(path);
  const std::string mappings = plugin ? everyGridMapping(path, gridOfChannel) : "";
  if (plugin && gridOfChannel.empty() && info.format == "vdb" && PluginBoundFor(path)) {
    // No grid a channel can hold (a file of point grids, say): the library's listing only.
    describeVdbFile(gridOfChannel, info);
    if (info.formatVersion >= 0) return true;
    reason = info.problems.empty() ? "the file cannot be read" : info.problems.front();
    return false;
  }
  OwnedFrame frame = LoadFrame(path, plugin ? mappings.c_str() : nullptr, !withRanges, reason);
  if (!frame && plugin) {
    // Grids that cannot be read together (transforms that differ): the default mappings only.
    gridOfChannel = defaultGridOfChannel(path);
    frame = LoadFrame(path, nullptr, !withRanges, reason);
  }
  if (!frame) return false;
  describeGrid(*frame, info);
  describeChannels(*frame, gridOfChannel, withRanges, info);
  if (info.format == "vdb") {
    describeVdbFile(gridOfChannel, info);
  } else {
    describeParticles(*frame, info);
  }
  return true;
}
