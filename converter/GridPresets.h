// The grid layouts a converted file can have: which channels of a frame become which grids, under
// which names, in which order, and what kind of data each grid declares.
#pragma once

#include <string>
#include <vector>

class IOrv;

enum class GridPreset {
  Cvn,      // the nine float grids of orvconvert ("Smoke_cvn" ... "ColorB_cvn"), no grid class
  Blender,  // density, temperature, fuel, velocity (vec3), color (vec3)
  Houdini,  // density, temperature, fuel, vel (vec3), Cd (vec3)
};

// What a grid's values mean, written as its grid class or vector type.
enum class GridRole {
  Plain,      // no class, no vector type
  FogVolume,  // scalar density-like field
  Velocity,   // vector that moves with the space (contravariant, relative)
  Colour,     // vector that does not transform (invariant)
};

struct PresetGrid {
  std::string name;
  int channels[3] = {-1, -1, -1};  // channel ids of the components
  int components = 1;              // 1: a float grid; 3: a vec3 grid
  GridRole role = GridRole::Plain;
};

// The grids `preset` writes for this frame, in file order: each whose channels are all present
// (asked with hasChannel only; nothing is expanded).
std::vector<PresetGrid> SelectPresetGrids(IOrv& frame, GridPreset preset);

// "cvn", "blender" or "houdini"; false for any other name.
bool ParseGridPreset(const std::string& name, GridPreset& preset);
const char* GridPresetName(GridPreset preset);
