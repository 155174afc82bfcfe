// A procedural fire plume: a burning source at the bottom of the grid whose hot gas rises, swirls
// and leaves smoke behind. Deterministic, so the bundled samples and the conversion benchmark can
// be regenerated bit for bit.
#pragma once

#include <vector>

#include "tools/orv/OrvWriter.h"

namespace orv::samples {

struct PlumeGrid {
  int size[3] = {40, 64, 40};          // cells; y is up
  float cellSize = 0.05f;              // world units per cell
  float origin[3] = {-1.0f, 0.0f, -1.0f};  // world position of cell (0, 0, 0)
};

// Channel values of one frame, each nx*ny*nz values with x fastest.
struct PlumeFields {
  std::vector<float> smoke;
  std::vector<float> temperature;
  std::vector<float> fuel;
  std::vector<float> velocity[3];
  std::vector<unsigned int> colour;  // packed 0x00RRGGBB, from the glow of the hot gas and the smoke
};

// The plume at frame number frame (time advances by one step per frame).
PlumeFields FirePlumeFields(const PlumeGrid& grid, int frame);

// The frame as the writer stores it: version 6, world-to-grid transform scaling by 1/cellSize and
// translating by -origin/cellSize, quantised zoned streams for the scalar and velocity channels,
// and the packed colour channel when withColour is set.
orv::writer::Frame FirePlumeOrvFrame(const PlumeGrid& grid, int frame, PlumeFields fields,
                                     bool withColour = true);

}  // namespace orv::samples
