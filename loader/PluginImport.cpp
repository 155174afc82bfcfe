#include "loader/PluginImport.h"

#include <cstring>
#include <string>

#include "cache/CorvaneFrameData.h"
#include "loader/ChannelMappings.h"
#include "loader/Plugins.h"
#include "support/FramePattern.h"
#include "support/Log.h"

namespace {

constexpr int kUnbound = 2;
constexpr int kUnknownFormat = 3;
constexpr int kNoMappings = 9;

// Plug-in frames carry no stored channels: a one-integer stream, as header-only loads have. The
// simulation header's value at byte 8 has no meaning for imported frames and is zeroed.
void finishImportedFrame(CorvaneFrameData& frame) {
  frame.discardPartialVelocity();
  std::memset(frame.simulationHeader + 8, 0, sizeof(double));
  if (frame.allocateCompressedStream(1)) frame.compressedStream[0] = 0;
}

}  // namespace

int ImportFrameThroughPlugin(CorvaneFrameData* frame, const char* path, const char* mappings,
                             long long maxVoxels, bool mode) {
  if (!frame || !path) return kUnknownFormat;
  frame->resetFrame(mode);
  const std::string extension = LowerExtension(path);
  const bool field3d = extension == "f3d";
  if (!field3d && extension != "vdb") return kUnknownFormat;
  const CorvanePlugins::PluginFunctions* plugin = CorvanePlugins::BoundPlugin(
      field3d ? CorvanePlugins::Plugin::Field3D : CorvanePlugins::Plugin::OpenVDB);
  if (!plugin) return kUnbound;

  CorvaneMappings::GridMappingArray parsed;
  CorvaneMappings::ParseChannelMappings(mappings, parsed);
  if (parsed.empty()) {
    LogMessage(field3d ? "Trying to import F3D files with no mappings specified!\n"
                       : "Trying to import VDB files with no mappings specified!\n");
    return kNoMappings;
  }
  int result;
  if (field3d) {
    result = plugin->importFrameF3D(path, frame, mode, parsed.data, parsed.size());
  } else {
    long long scratch = 0;
    result = plugin->importFrameVDB(path, frame, &scratch, mode, parsed.data, parsed.size(),
                                    maxVoxels);
  }
  if (result == 0) finishImportedFrame(*frame);
  return result;
}
