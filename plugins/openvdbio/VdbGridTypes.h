// The grid types openvdbio reads: float and double scalars, single and double precision vec3.
// Every value becomes a float in the frame. Int, bool, mask, string and point grids are not read.
#pragma once

#include <openvdb/openvdb.h>

#include <type_traits>

namespace OpenVdbIo {

inline bool IsScalarGrid(const openvdb::GridBase& grid) {
  return grid.isType<openvdb::FloatGrid>() || grid.isType<openvdb::DoubleGrid>();
}

inline bool IsVec3Grid(const openvdb::GridBase& grid) {
  return grid.isType<openvdb::Vec3SGrid>() || grid.isType<openvdb::Vec3DGrid>();
}

// A vec3 grid whose components sit on the lower faces of their voxels (a MAC grid): grid class
// "staggered", or the vector type "staggered" some writers record.
inline bool IsStaggeredGrid(const openvdb::GridBase& grid) {
  if (!IsVec3Grid(grid)) return false;
  if (grid.getGridClass() == openvdb::GRID_STAGGERED) return true;
  const auto vectorType = grid.getMetadata<openvdb::StringMetadata>(openvdb::GridBase::META_VECTOR_TYPE);
  return vectorType && vectorType->value() == "staggered";
}

// Calls body(grid as its concrete type) for a readable grid; false for any other type.
template <typename Body>
bool WithReadableGrid(const openvdb::GridBase& grid, Body&& body) {
  if (const auto* g = dynamic_cast<const openvdb::FloatGrid*>(&grid)) return body(*g), true;
  if (const auto* g = dynamic_cast<const openvdb::DoubleGrid*>(&grid)) return body(*g), true;
  if (const auto* g = dynamic_cast<const openvdb::Vec3SGrid*>(&grid)) return body(*g), true;
  if (const auto* g = dynamic_cast<const openvdb::Vec3DGrid*>(&grid)) return body(*g), true;
  return false;
}

// Component `c` of a value (a scalar has only itself) in double precision.
template <typename Value>
inline double ComponentOf(const Value& value, int c) {
  if constexpr (std::is_arithmetic_v<Value>) {
    (void)c;
    return static_cast<double>(value);
  } else {
    return static_cast<double>(value[c]);
  }
}

// Components a value type has.
template <typename Value>
constexpr int ComponentCount() {
  return std::is_arithmetic_v<Value> ? 1 : 3;
}

// Where one grid's values go in the frame: a float array over the frame's cells (x fastest) per
// component, a scalar grid's in [0]; components without an array are not filled.
struct ChannelTargets {
  float* component[3] = {nullptr, nullptr, nullptr};
};

}  // namespace OpenVdbIo
