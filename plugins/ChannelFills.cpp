#include "plugins/ChannelFills.h"

#include <algorithm>
#include <cfloat>

namespace {

// The channel that receives what mapped[index] needs: its own channel, or the channel it copies.
int filledChannel(const std::vector<MappedSource>& mapped, size_t index) {
  for (size_t m = 0; m < index; ++m) {
    if (mapped[m].source == mapped[index].source && mapped[m].component == mapped[index].component) return mapped[m].channel;
  }
  return mapped[index].channel;
}

void setRange(CorvaneFrameData& frame, int id, ParallelRunner& runner) {
  const float* values = ChannelValues(frame, id);
  const long long cells = frame.voxelCount();
  std::vector<float> lows(runner.jobs(), FLT_MAX), highs(runner.jobs(), -FLT_MAX);
  runner.everyJob([&](int job, int jobs) {
    const long long first = cells * job / jobs, last = cells * (job + 1) / jobs;
    float low = FLT_MAX, high = -FLT_MAX;
    for (long long c = first; c < last; ++c) {
      low = std::min(low, values[c]);
      high = std::max(high, values[c]);
    }
    lows[job] = low;
    highs[job] = high;
  });
  frame.slots[id].rangeLow = *std::min_element(lows.begin(), lows.end());
  frame.slots[id].rangeHigh = *std::max_element(highs.begin(), highs.end());
}

}  // namespace

std::vector<SourceFill> FillsBySource(const std::vector<MappedSource>& mapped) {
  std::vector<SourceFill> fills;
  for (const MappedSource& m : mapped) {
    auto fill = std::find_if(fills.begin(), fills.end(), [&](const SourceFill& f) { return f.source == m.source; });
    if (fill == fills.end()) fill = fills.insert(fills.end(), SourceFill{m.source});
    int& receiver = fill->channel[m.component < 0 ? 0 : m.component];
    if (receiver < 0) receiver = m.channel;
  }
  return fills;
}

void FinishMappedChannels(CorvaneFrameData& frame, const std::vector<MappedSource>& mapped, ParallelRunner& runner) {
  for (size_t m = 0; m < mapped.size(); ++m) {
    const int source = filledChannel(mapped, m);
    if (source != mapped[m].channel) {
      std::copy_n(ChannelValues(frame, source), frame.voxelCount(), ChannelValues(frame, mapped[m].channel));
    }
    setRange(frame, mapped[m].channel, runner);
  }
}
