// Writes the bundled sample sequence: frames 1..N of the fire plume as <folder>/fire_NNNN.orv.
// Usage: orvsamples <folder> [frame count, default 6]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/samples/FirePlume.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <folder> [frame count]\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  const int frames = argc > 2 ? std::atoi(argv[2]) : 6;
  if (frames < 1 || frames > 9999) {
    std::fprintf(stderr, "frame count must be 1 to 9999\n");
    return 2;
  }
  const orv::samples::PlumeGrid grid;
  for (int frame = 1; frame <= frames; ++frame) {
    char name[32];
    std::snprintf(name, sizeof name, "/fire_%04d.orv", frame);
    const std::string path = folder + name;
    std::string error;
    const orv::writer::Frame description =
        orv::samples::FirePlumeOrvFrame(grid, frame, orv::samples::FirePlumeFields(grid, frame));
    if (!orv::writer::WriteFile(description, path, &error)) {
      std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), error.c_str());
      return 1;
    }
    std::printf("%s\n", path.c_str());
  }
  return 0;
}
