// The default mapping string of a path: the plug-in rules applied to the grids its files hold.
#include "loader/ChannelMappings.h"
#include "loader/EnumFiles.h"
#include "support/FramePattern.h"

std::string DefaultChannelMappings(const char* path) {
  if (!path || !*path) return CorvaneMappings::OwnChannelMappings();
  CacheIO::AvailableChannelArray available;
  CorvaneEnum::CollectAvailableChannels(path, available);
  if (available.empty()) return CorvaneMappings::OwnChannelMappings();
  return CorvaneMappings::MappingsFromRules(LowerExtension(path), available);
}
