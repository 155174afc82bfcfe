#include "converter/orvtool/InfoReport.h"

#include <cstdarg>
#include <cstdio>

#include "support/FramePattern.h"

namespace {

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...) {
  char text[512];
  va_list arguments;
  va_start(arguments, pattern);
  std::vsnprintf(text, sizeof text, pattern, arguments);
  va_end(arguments);
  return text;
}

// Zero without a sign: a transform printed as -0 reads as a fault.
double unsigned0(double value) { return value == 0.0 ? 0.0 : value; }

// Removes the blanks that padded columns leave at the ends of lines.
std::string withoutTrailingBlanks(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '\n') {
      while (!out.empty() && out.back() == ' ') out.pop_back();
    }
    out += c;
  }
  return out;
}

std::string typeWithComponents(const ParticleAttributeInfo& channel) {
  return channel.components > 1 ? channel.type + " x" + std::to_string(channel.components)
                                : channel.type;
}

std::string rangeColumns(const ValueRange& range) {
  if (!range.known) return "";
  std::string text = format("  %12.6g %12.6g %12.6g %10lld", range.minimum, range.maximum,
                            range.mean, range.nonZero);
  if (range.nonFinite > 0) text += format("  (%lld not finite)", range.nonFinite);
  return text;
}

void writeRange(JsonWriter& json, const ValueRange& range) {
  json.numberField("min", range.minimum);
  json.numberField("max", range.maximum);
  json.numberField("mean", range.mean);
  json.integerField("nonZero", range.nonZero);
  json.integerField("nonFinite", range.nonFinite);
}

}  // namespace

std::string InfoTable(const FileInfo& info) {
  std::string text = info.path + "\n";
  text += "  format          " + info.format;
  if (info.formatVersion >= 0) text += ", version " + std::to_string(info.formatVersion);
  text += "\n";
  if (info.frameNumber != NoFrame) text += format("  frame           %d\n", info.frameNumber);
  const long long cells =
      static_cast<long long>(info.gridSize[0]) * info.gridSize[1] * info.gridSize[2];
  text += format("  grid            %d x %d x %d (%lld cells)\n", info.gridSize[0],
                 info.gridSize[1], info.gridSize[2], cells);
  text += format("  voxel size      %g x %g x %g\n", info.voxelSize[0], info.voxelSize[1],
                 info.voxelSize[2]);
  for (int r = 0; r < 4; ++r) {
    const double* row = info.indexToWorld.m[r];
    text += format("  %-16s%10.6g %10.6g %10.6g %10.6g\n", r == 0 ? "index to world" : "",
                   unsigned0(row[0]), unsigned0(row[1]), unsigned0(row[2]), unsigned0(row[3]));
  }
  if (info.indexToWorld.singular)
    text += "                  (the grid transform cannot be inverted)\n";
  if (!info.channels.empty()) {
    const bool ranges = info.channels.front().range.known;
    const bool stored = info.format == "orv";
    text += format("  channels\n    %3s  %-22s", "id", "name");
    if (stored) text += format(" %12s  %-26s", "stored bytes", "storage");
    if (ranges) text += format("  %12s %12s %12s %10s", "min", "max", "mean", "non-zero");
    text += "\n";
    for (const ChannelInfo& channel : info.channels) {
      const std::string bytes = channel.storedBytes >= 0 ? std::to_string(channel.storedBytes) : "";
      text += format("    %3d  %-22s", channel.id, channel.name.c_str());
      if (stored) text += format(" %12s  %-26s", bytes.c_str(), channel.storage.c_str());
      text += rangeColumns(channel.range) + "\n";
    }
  } else {
    text += "  channels        none\n";
  }
  for (const ParticleGroupInfo& group : info.particleGroups) {
    text += format("  particle group  %s: %lld particles\n", group.name.c_str(), group.count);
    for (const ParticleAttributeInfo& channel : group.channels) {
      text += format("    %-20s %s\n", channel.name.c_str(), typeWithComponents(channel).c_str());
    }
  }
  for (const OtherGridInfo& grid : info.otherGrids) {
    text += format("  other grid      %s (%s", grid.name.c_str(), grid.type.c_str());
    if (grid.activeVoxels >= 0) text += format(", %lld active voxels", grid.activeVoxels);
    text += ")\n";
  }
  return withoutTrailingBlanks(text);
}

void WriteInfoJson(JsonWriter& json, const FileInfo& info) {
  json.beginObject();
  json.stringField("path", info.path);
  json.stringField("format", info.format);
  json.key("formatVersion");
  if (info.formatVersion >= 0)
    json.integer(info.formatVersion);
  else
    json.null();
  json.key("frame");
  if (info.frameNumber != NoFrame)
    json.integer(info.frameNumber);
  else
    json.null();
  json.key("gridSize");
  json.beginArray(true);
  for (int size : info.gridSize) json.integer(size);
  json.endArray();
  json.key("voxelSize");
  json.beginArray(true);
  for (double size : info.voxelSize) json.number(size);
  json.endArray();
  json.key("indexToWorld");
  json.beginArray();
  for (const auto& row : info.indexToWorld.m) {
    json.beginArray(true);
    for (double value : row) json.number(unsigned0(value));
    json.endArray();
  }
  json.endArray();
  json.key("channels");
  json.beginArray();
  for (const ChannelInfo& channel : info.channels) {
    json.beginObject();
    json.integerField("id", channel.id);
    json.stringField("name", channel.name);
    if (channel.storedBytes >= 0) {
      json.integerField("storedBytes", channel.storedBytes);
    }
    if (!channel.storage.empty()) {
      json.stringField("storage", channel.storage);
    }
    if (channel.range.known) writeRange(json, channel.range);
    json.endObject();
  }
  json.endArray();
  json.key("particleGroups");
  json.beginArray();
  for (const ParticleGroupInfo& group : info.particleGroups) {
    json.beginObject();
    json.stringField("name", group.name);
    json.integerField("count", group.count);
    json.key("channels");
    json.beginArray();
    for (const ParticleAttributeInfo& channel : group.channels) {
      json.beginObject();
      json.stringField("name", channel.name);
      json.stringField("type", channel.type);
      json.integerField("components", channel.components);
      json.endObject();
    }
    json.endArray();
    json.endObject();
  }
  json.endArray();
  json.key("otherGrids");
  json.beginArray();
  for (const OtherGridInfo& grid : info.otherGrids) {
    json.beginObject();
    json.stringField("name", grid.name);
    json.stringField("type", grid.type);
    json.key("activeVoxels");
    if (grid.activeVoxels >= 0)
      json.integer(grid.activeVoxels);
    else
      json.null();
    json.endObject();
  }
  json.endArray();
  json.key("problems");
  json.beginArray();
  for (const std::string& problem : info.problems) json.string(problem);
  json.endArray();
  json.endObject();
}

void WriteErrorJson(JsonWriter& json, const std::string& path, const std::string& error) {
  json.beginObject();
  json.stringField("path", path);
  json.stringField("error", error);
  json.endObject();
}
