// A whole .f3d file from bytes, held in memory: opened in the container its first bytes name (the
// Ogawa reader over the bytes, HDF5 as a file image), its grids listed, then imported header-only
// and in full, all grids in one frame and each alone, with every value of every channel read.
#include <string>
#include <vector>

#include "cache/CorvaneFrameData.h"
#include "fuzz/targets/FuzzCheck.h"
#include "fuzz/targets/FuzzTargets.h"
#include "plugins/field3dio/Field3dFile.h"
#include "plugins/field3dio/Field3dFrameImport.h"

namespace {

// Frames the harness lets an import fill: the same checks run for larger ones, but a run must stay
// within the fuzzer's memory limit.
constexpr long long kHarnessMaxFloats = 4ll << 20;
// Channel ids for the all-grids import; velocity and the packed colour left out.
constexpr int kChannelIds[] = {1, 2, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 19, 20, 21};
constexpr size_t kGridsAlone = 4;

float touch(const float* values, long long count) {
  constexpr long long kStride = 4093;
  float sum = 0;
  for (long long i = 0; i < count; i += kStride) sum += values[i];
  return count > 0 ? sum + values[count - 1] : sum;
}

void importAndRead(Field3dIo::Field3dContainer& file, const std::vector<CacheIO::GridMapping>& mappings, bool headerOnly) {
  CorvaneFrameData frame;
  frame.resetFrame(headerOnly);
  Field3dIo::Field3dImportRequest request;
  request.path = "fuzz.f3d";
  request.headerOnly = headerOnly;
  request.mappings = mappings.data();
  request.mappingCount = static_cast<int>(mappings.size());
  request.maxFloats = kHarnessMaxFloats;
  const int result = Field3dIo::ImportField3dFrame(file, request, frame);
  FUZZ_CHECK(result == 0 || result == 4 || result == 5 || result == 6);
  if (result != 0) return;
  const long long cells = frame.voxelCount();
  FUZZ_CHECK(cells >= 0 && cells <= kHarnessMaxFloats);
  volatile float sink = 0;
  for (const CacheIO::GridMapping& mapping : mappings) {
    if (!(frame.channelMask & (1u << mapping.channel)) || cells == 0) continue;
    const float* values = frame.getChannel(mapping.channel);
    FUZZ_CHECK(headerOnly == (values == nullptr));
    if (values) sink = sink + touch(values, cells);
  }
}

}  // namespace

int FuzzField3dFile(const uint8_t* data, size_t size) {
  Field3dIo::OpenedFile file;
  std::string reason;
  const int opened = Field3dIo::OpenField3dMemory(data, size, file, reason);
  FUZZ_CHECK(opened == 0 || opened == 3 || opened == 4);
  FUZZ_CHECK((opened == 0) == (file.container != nullptr));
  FUZZ_CHECK(opened == 0 || !reason.empty());
  if (opened != 0) return 0;
  CacheIO::AvailableChannelArray grids;
  const int listed = Field3dIo::ListField3dChannels(*file.container, "fuzz.f3d", grids);
  FUZZ_CHECK(listed == 0 || listed == 4);
  std::vector<CacheIO::GridMapping> all;
  for (int g = 0; g < grids.size() && g < static_cast<int>(std::size(kChannelIds)); ++g) {
    CacheIO::GridMapping mapping;
    mapping.name = grids[g].name;
    mapping.channel = kChannelIds[g];
    all.push_back(mapping);
  }
  for (bool headerOnly : {true, false}) importAndRead(*file.container, all, headerOnly);
  for (size_t g = 0; g < all.size() && g < kGridsAlone; ++g) importAndRead(*file.container, {all[g]}, false);
  return 0;
}
