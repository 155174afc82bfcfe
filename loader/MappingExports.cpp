// The exported functions on channel mapping strings.
#include <string>

#include "loader/ChannelMappings.h"
#include "loader/EnumFiles.h"
#include "orv/OrvLoader.h"
#include "support/ExceptionGuard.h"

using CorvaneMappings::CopyBounded;

namespace {


// Runs an exported string function; an exception leaves the output "" (when there is room) and
// answers 0, as a truncation does.
template <typename Body>
int guardedStringExport(const char* where, char* out, int outSize, Body body) {
  constexpr int kStopped = -2;
  const int result = orv::GuardedCall(where, kStopped, body);
  if (result != kStopped) return result;
  CopyBounded(out, outSize, "");
  return 0;
}

}  // namespace

int orvComposeChannelMappingsString(char* out, int outSize, int* ids, const char** names,
                                    int count) {
  return guardedStringExport("orvComposeChannelMappingsString", out, outSize, [&] {
    std::string text;
    for (int k = 0; ids && names && k < count; ++k) {
      text += std::to_string(ids[k]) + ',' + (names[k] ? names[k] : "") + ';';
    }
    return CopyBounded(out, outSize, text.c_str());
  });
}

int orvDecomposeChannelMappingsString(int* id, char* name, int nameSize, const char* mappings,
                                      int index) {
  return guardedStringExport("orvDecomposeChannelMappingsString", name, nameSize, [&] {
    CorvaneMappings::GridMappingArray entries;
    CorvaneMappings::ParseChannelMappings(mappings, entries);
    if (index < 0 || index >= entries.size()) return -1;
    if (id) *id = entries[index].channel;
    return CopyBounded(name, nameSize, entries[index].name.c_str());
  });
}

int orvGenerateDefaultChannelMappings(char* out, int outSize, const char* path) {
  return guardedStringExport("orvGenerateDefaultChannelMappings", out, outSize, [&] {
    return CopyBounded(out, outSize, DefaultChannelMappings(path).c_str());
  });
}

int orvGet3rdPartyChannelName(char* out, int outSize, int* flag, const char* path, int index) {
  return guardedStringExport("orvGet3rdPartyChannelName", out, outSize, [&] {
    CacheIO::AvailableChannelArray grids;
    if (path) CorvaneEnum::CollectAvailableChannels(path, grids);
    if (index < 0 || index >= grids.size()) return -1;
    if (flag) *flag = grids[index].flag != 0 ? 1 : 0;
    return CopyBounded(out, outSize, grids[index].name.c_str());
  });
}
