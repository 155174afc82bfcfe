// Integer arithmetic on quantised values and code symbols wraps modulo 2^32, as the stored
// streams define it, so that every prediction step is exactly undone whatever the values.
#pragma once

#include <cstdint>

namespace orv {

inline int AddWrapping(int a, int b) {
  return static_cast<int>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// a - b modulo 2^32: unlike AddWrapping(a, -b) defined for b = INT_MIN too.
inline int SubtractWrapping(int a, int b) {
  return static_cast<int>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

}  // namespace orv
