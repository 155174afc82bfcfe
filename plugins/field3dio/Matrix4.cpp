#include "plugins/field3dio/Matrix4.h"

#include <algorithm>
#include <cmath>

namespace Field3dIo {

namespace {

double largestAbs(const Matrix4& a, const Matrix4& b, int firstRow, int lastRow) {
  double largest = 0.0;
  for (int r = firstRow; r <= lastRow; ++r) {
    for (int c = 0; c < 3; ++c) largest = std::max({largest, std::fabs(a.at(r, c)), std::fabs(b.at(r, c))});
  }
  return largest;
}

bool rowsAgree(const Matrix4& a, const Matrix4& b, int firstRow, int lastRow, double tolerance) {
  for (int r = firstRow; r <= lastRow; ++r) {
    for (int c = 0; c < 3; ++c) {
      if (!(std::fabs(a.at(r, c) - b.at(r, c)) <= tolerance)) return false;
    }
  }
  return true;
}

}  // namespace

Matrix4 Then(const Matrix4& first, const Matrix4& second) {
  Matrix4 out;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      double sum = 0.0;
      for (int k = 0; k < 4; ++k) sum += first.at(r, k) * second.at(k, c);
      out.at(r, c) = sum;
    }
  }
  return out;
}

bool IsAffine(const Matrix4& matrix) {
  for (double value : matrix.m) {
    if (!std::isfinite(value)) return false;
  }
  return matrix.at(0, 3) == 0.0 && matrix.at(1, 3) == 0.0 && matrix.at(2, 3) == 0.0 && matrix.at(3, 3) == 1.0;
}

bool InvertAffine(const Matrix4& a, Matrix4& inverse) {
  if (!IsAffine(a)) return false;
  // Inverse of the linear part by cofactors.
  const double c00 = a.at(1, 1) * a.at(2, 2) - a.at(1, 2) * a.at(2, 1);
  const double c01 = a.at(1, 2) * a.at(2, 0) - a.at(1, 0) * a.at(2, 2);
  const double c02 = a.at(1, 0) * a.at(2, 1) - a.at(1, 1) * a.at(2, 0);
  const double determinant = a.at(0, 0) * c00 + a.at(0, 1) * c01 + a.at(0, 2) * c02;
  if (determinant == 0.0 || !std::isfinite(determinant)) return false;
  const double s = 1.0 / determinant;
  Matrix4 out;
  out.at(0, 0) = c00 * s;
  out.at(0, 1) = (a.at(0, 2) * a.at(2, 1) - a.at(0, 1) * a.at(2, 2)) * s;
  out.at(0, 2) = (a.at(0, 1) * a.at(1, 2) - a.at(0, 2) * a.at(1, 1)) * s;
  out.at(1, 0) = c01 * s;
  out.at(1, 1) = (a.at(0, 0) * a.at(2, 2) - a.at(0, 2) * a.at(2, 0)) * s;
  out.at(1, 2) = (a.at(0, 2) * a.at(1, 0) - a.at(0, 0) * a.at(1, 2)) * s;
  out.at(2, 0) = c02 * s;
  out.at(2, 1) = (a.at(0, 1) * a.at(2, 0) - a.at(0, 0) * a.at(2, 1)) * s;
  out.at(2, 2) = (a.at(0, 0) * a.at(1, 1) - a.at(0, 1) * a.at(1, 0)) * s;
  for (int c = 0; c < 3; ++c) {
    out.at(3, c) = -(a.at(3, 0) * out.at(0, c) + a.at(3, 1) * out.at(1, c) + a.at(3, 2) * out.at(2, c));
  }
  for (double value : out.m) {
    if (!std::isfinite(value)) return false;
  }
  inverse = out;
  return true;
}

void TransformPoint(const Matrix4& matrix, const double point[3], double out[3]) {
  for (int c = 0; c < 3; ++c) {
    out[c] = point[0] * matrix.at(0, c) + point[1] * matrix.at(1, c) + point[2] * matrix.at(2, c) + matrix.at(3, c);
  }
}

bool SameAffineMap(const Matrix4& a, const Matrix4& b) {
  constexpr double kTolerance = 1e-6;
  const double linear = largestAbs(a, b, 0, 2);
  const double translation = std::max(linear, largestAbs(a, b, 3, 3));
  return rowsAgree(a, b, 0, 2, kTolerance * linear) && rowsAgree(a, b, 3, 3, kTolerance * translation);
}

}  // namespace Field3dIo
