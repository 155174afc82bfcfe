// Writes the frame the Python channel benchmark decodes: the fire plume's smoke channel on a
// 256 x 256 x 384 grid, stored as the samples store it (quantised zoned stream).
#include <algorithm>
#include <cstdio>
#include <string>

#include "tools/samples/FirePlume.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::printf("usage: bench_python_write_frame FILE.orv\n");
    return 1;
  }
  orv::samples::PlumeGrid grid;
  grid.size[0] = 256;
  grid.size[1] = 256;
  grid.size[2] = 384;
  grid.cellSize = 2.0f / 256;
  orv::writer::Frame frame =
      orv::samples::FirePlumeOrvFrame(grid, 12, orv::samples::FirePlumeFields(grid, 12), false);
  auto& channels = frame.channels;
  channels.erase(std::remove_if(channels.begin(), channels.end(),
                                [](const orv::writer::GridChannel& c) { return c.id != 2; }),
                 channels.end());
  std::string error;
  if (!orv::writer::WriteFile(frame, argv[1], &error)) {
    std::printf("cannot write %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  return 0;
}
