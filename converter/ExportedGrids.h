// Which channels of a frame become grids of a converted file, under which names and in which order.
#pragma once

#include <vector>

class IOrv;

struct ExportedGrid {
  const char* name;  // grid name written to the file
  int channelId;     // channel of the frame that fills it
};

// The grids written for this frame, in file order: smoke, temperature and fuel each when present;
// velocity and colour as three scalar grids each, only when all three components are present.
// Asks the frame with hasChannel only; nothing is expanded.
std::vector<ExportedGrid> SelectExportedGrids(IOrv& frame);
