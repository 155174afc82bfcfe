#include "plugins/openvdbio/DenseGridCopy.h"

#include <string>
#include <vector>

#include "plugins/openvdbio/VdbDenseFill.h"

namespace OpenVdbIo {

bool CopyGridToChannels(const openvdb::GridBase& grid, const openvdb::CoordBBox& box, const FrameLayout& layout,
                        const ChannelTargets& targets, ParallelRunner& runner, orv::DecodeBudget& budget,
                        const char* path) {
  bool copied = false;
  WithReadableGrid(grid, [&](const auto& typed) {
    using TreeT = typename std::decay_t<decltype(typed)>::TreeType;
    const VdbDenseFill<TreeT> fill(typed.tree(), box);
    if (layout.stride == 1) {
      fill.copy(ComponentWriter<typename TreeT::ValueType>{targets}, runner);
      copied = true;
      return;
    }
    const long long doubles = VdbDenseFill<TreeT>::averageScratch(layout.size);
    long long bytes = 0;
    orv::DecodeReservation reservation;
    const std::string what = "openvdbio: averaging blocks of " + std::string(path);
    if (!orv::DecodedByteCount(doubles, sizeof(double), bytes) || !orv::DecodedByteCount(bytes, runner.jobs(), bytes) ||
        !reservation.acquire(budget, bytes, what.c_str())) {
      return;
    }
    std::vector<std::vector<double>> scratch(runner.jobs(), std::vector<double>(doubles));
    fill.average(layout.stride, layout.size, targets, runner, scratch);
    copied = true;
  });
  return copied;
}

}  // namespace OpenVdbIo
