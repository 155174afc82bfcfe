// Axis-aligned bounding box of particle positions: minimum corner, then maximum corner.
#pragma once

namespace KUtils {

struct Box {
  float min[3];
  float max[3];
};

// The box that contains nothing: growing it by any point or box gives that point or box.
inline Box EmptyBox() { return Box{{1e20f, 1e20f, 1e20f}, {-1e20f, -1e20f, -1e20f}}; }

// Grows box to contain other (per axis: min of minimums, max of maximums).
inline void GrowBox(Box& box, const Box& other) {
  for (int a = 0; a < 3; ++a) {
    if (other.min[a] < box.min[a]) box.min[a] = other.min[a];
    if (other.max[a] > box.max[a]) box.max[a] = other.max[a];
  }
}

}  // namespace KUtils
