// How one frame is written to an OpenVDB file, and what the writing reports back.
#pragma once

#include <string>
#include <vector>

#include "converter/GridPresets.h"

namespace KUtils {
class ThreadManager;
}

// How a file is compressed: the library's defaults (orvconvert), or one codec chosen by the user,
// each with the active-mask compression except None.
enum class VdbCodec { LibraryDefault, Blosc, Zip, None };

// "blosc", "zip" or "none"; false for any other name.
bool ParseVdbCodec(const std::string& name, VdbCodec& codec);

struct VoxelClip {
  bool enabled = false;
  // Cells with |value| (a vector's length) <= tolerance stay inactive background (zero), and
  // leaves and nodes that end up constant become tiles. NaN values are always kept.
  float tolerance = 0.0f;
};

// The defaults are orvconvert's output: the nine float grids, every cell active, the library's
// compression, written in place.
struct ExportSettings {
  GridPreset preset = GridPreset::Cvn;
  VoxelClip clip;
  bool halfFloat = false;  // grids stored as 16-bit floats
  VdbCodec codec = VdbCodec::LibraryDefault;
  bool particles = false;  // each particle group as a point grid
  // Written to a temporary file beside the destination, renamed over it only once the whole file
  // is on disk; a failed write leaves nothing under the destination name.
  bool atomicWrite = false;
  bool describeFile = false;  // file metadata "creator" and "velocity_unit"
  // Grids of the frame built at once on `pool` (null or 1: one after another on the caller).
  int gridThreads = 1;
  KUtils::ThreadManager* pool = nullptr;
};

struct FrameExportReport {
  std::string reason;  // why the export failed
  std::vector<std::string> warnings;
  long long bytesWritten = 0;
  int grids = 0;  // volume and point grids written
  long long points = 0;
};

// The defaults of the pipeline tool and its Python module: the blender preset, Blosc compression,
// atomic writes, and the creator and velocity unit in the file metadata.
ExportSettings PipelineExportSettings();
