#include "converter/ExportedGrids.h"

#include "orv/IOrv.h"

namespace {

constexpr ExportedGrid kScalarGrids[] = {
    {"Smoke_cvn", 2},
    {"Temperature_cvn", 1},
    {"Fuel_cvn", 10},
};

// Three-component channels are written only as complete triples.
struct ComponentTriple {
  ExportedGrid components[3];
};

constexpr ComponentTriple kTripleGrids[] = {
    {{{"VelocityX_cvn", 4}, {"VelocityY_cvn", 5}, {"VelocityZ_cvn", 6}}},
    {{{"ColorR_cvn", 7}, {"ColorG_cvn", 8}, {"ColorB_cvn", 9}}},
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
