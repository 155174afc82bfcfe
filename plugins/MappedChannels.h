// Which channel each grid of an import fills, the same rule for every IO plug-in: mappings are
// taken in order; one whose channel id is not a plain grid channel (0..30 except the packed colour
// 18) is skipped with a log line, one whose grid the file lacks is skipped silently, and the first
// mapping of a channel wins.
#pragma once

#include <utility>
#include <vector>

#include "cache/CorvaneFrameData.h"
#include "orv/CacheIO.h"
#include "support/Log.h"

// `find(name)` gives the file's grid of that name or null; `plugin` prefixes the log lines.
template <typename Grid, typename Find>
std::vector<std::pair<int, const Grid*>> AssignMappedChannels(const CacheIO::GridMapping* mappings, int count,
                                                               const char* plugin, Find find) {
  std::vector<std::pair<int, const Grid*>> assigned;
  unsigned int taken = 0;
  for (int m = 0; m < count; ++m) {
    const CacheIO::GridMapping& mapping = mappings[m];
    const char* name = mapping.name.c_str();
    if (!CorvaneFrameData::IsGridChannel(mapping.channel)) {
      LogMessage("#%s: channel id %d of grid %s is not a grid channel; skipped\n", plugin, mapping.channel, name);
      continue;
    }
    const Grid* grid = find(name);
    if (!grid) continue;
    if (taken & (1u << mapping.channel)) {
      LogMessage("#%s: channel %d is already filled; grid %s skipped\n", plugin, mapping.channel, name);
      continue;
    }
    taken |= 1u << mapping.channel;
    assigned.emplace_back(mapping.channel, grid);
  }
  return assigned;
}
