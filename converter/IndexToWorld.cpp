#include "converter/IndexToWorld.h"

#include <cmath>

namespace {

void setIdentity(double m[4][4]) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) m[r][c] = r == c ? 1.0 : 0.0;
  }
}

// Inverts the 3x3 matrix a (row by row) into inverse; false when it has no finite inverse.
bool invertByCofactors(const float a[9], float inverse[9]) {
  const double determinant =
      static_cast<double>(a[0]) * (static_cast<double>(a[4]) * a[8] - static_cast<double>(a[5]) * a[7]) -
      static_cast<double>(a[1]) * (static_cast<double>(a[3]) * a[8] - static_cast<double>(a[5]) * a[6]) +
      static_cast<double>(a[2]) * (static_cast<double>(a[3]) * a[7] - static_cast<double>(a[4]) * a[6]);
  if (determinant == 0.0 || !std::isfinite(determinant)) return false;
  const double reciprocal = 1.0 / determinant;

  // cofactor[r][c] of a, in single precision.
  const float cofactor[3][3] = {
      {a[4] * a[8] - a[5] * a[7], -(a[3] * a[8] - a[5] * a[6]), a[3] * a[7] - a[4] * a[6]},
      {-(a[1] * a[8] - a[2] * a[7]), a[0] * a[8] - a[2] * a[6], -(a[0] * a[7] - a[1] * a[6])},
      {a[1] * a[5] - a[2] * a[4], -(a[0] * a[5] - a[2] * a[3]), a[0] * a[4] - a[1] * a[3]},
  };
  // The inverse is the transposed cofactor matrix over the determinant.
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      inverse[3 * r + c] = static_cast<float>(cofactor[c][r] * reciprocal);
      if (!std::isfinite(inverse[3 * r + c])) return false;
    }
  }
  return true;
}

}  // namespace

IndexToWorldMatrix IndexToWorldFromFrameTransform(const float frameTransform[12]) {
  IndexToWorldMatrix result;
  setIdentity(result.m);
  result.singular = false;

  float inverse[9];
  if (!invertByCofactors(frameTransform, inverse)) {
    result.singular = true;
    return result;
  }
  const float* t = frameTransform + 9;
  float translation[3];
  for (int c = 0; c < 3; ++c) {
    translation[c] = -(t[0] * inverse[c] + t[1] * inverse[3 + c] + t[2] * inverse[6 + c]);
    if (!std::isfinite(translation[c])) {
      result.singular = true;
      return result;
    }
  }
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) result.m[r][c] = inverse[3 * r + c];
  }
  for (int c = 0; c < 3; ++c) result.m[3][c] = translation[c];
  return result;
}
