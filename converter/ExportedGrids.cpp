#include "converter/ExportedGrids.h"

#include "cache/GridChannelIds.h"
#include "orv/IOrv.h"

namespace {

using namespace orv::channels;

constexpr ExportedGrid named(GridChannelId id) { return {GridNameOf(id), id}; }

constexpr ExportedGrid kScalarGrids[] = {named(kSmoke), named(kTemperature), named(kFuel)};

// Three-component channels are written only as complete triples.
struct ComponentTriple {
  ExportedGrid components[3];
};

constexpr ComponentTriple kTripleGrids[] = {
    {{named(kVelocityX), named(kVelocityY), named(kVelocityZ)}},
    {{named(kColourRed), named(kColourGreen), named(kColourBlue)}},
};

bool isPresent(IOrv& frame, int channelId) { return frame.hasChannel(channelId) != 0; }

}  // namespace

std::vector<ExportedGrid> SelectExportedGrids(IOrv& frame) {
  std::vector<ExportedGrid> grids;
  for (const ExportedGrid& grid : kScalarGrids) {
    if (isPresent(frame, grid.channelId)) grids.push_back(grid);
  }
  for (const ComponentTriple& triple : kTripleGrids) {
    bool complete = true;
    for (const ExportedGrid& component : triple.components) {
      complete = complete && isPresent(frame, component.channelId);
    }
    if (!complete) continue;
    for (const ExportedGrid& component : triple.components) grids.push_back(component);
  }
  return grids;
}
