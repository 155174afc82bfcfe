// The lines of one axis of an x-fastest box, as the box prediction walks them.
#pragma once

namespace orv::codectools {

// Calls visit(line, stride, length) for every line along axis (0 x, 1 y, 2 z) of the box dims,
// the lines enumerated over the axes (axis + 1) % 3 (fastest) and (axis + 2) % 3.
template <typename Visit>
void ForEachBoxLine(int* q, const long long dims[3], int axis, Visit visit) {
  const long long strides[3] = {1, dims[0], dims[0] * dims[1]};
  const int a1 = (axis + 1) % 3;
  const int a2 = (axis + 2) % 3;
  for (long long c2 = 0; c2 < dims[a2]; ++c2) {
    for (long long c1 = 0; c1 < dims[a1]; ++c1) {
      visit(q + c1 * strides[a1] + c2 * strides[a2], strides[axis], dims[axis]);
    }
  }
}

}  // namespace orv::codectools
