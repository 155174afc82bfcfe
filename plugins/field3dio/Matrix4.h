// 4x4 double matrices in Field3D's convention: row-major, points as row vectors
// ([x y z 1] * M), so the translation is the last row. Only affine maps are used.
#pragma once

namespace Field3dIo {

struct Matrix4 {
  double m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

  double& at(int row, int column) { return m[4 * row + column]; }
  double at(int row, int column) const { return m[4 * row + column]; }
};

// The map that applies `first`, then `second`.
Matrix4 Then(const Matrix4& first, const Matrix4& second);

// True when the last column is (0, 0, 0, 1) and every element is finite.
bool IsAffine(const Matrix4& matrix);

// The inverse of an affine map; false when it has none (singular or not finite).
bool InvertAffine(const Matrix4& matrix, Matrix4& inverse);

// [p 1] * M for an affine M.
void TransformPoint(const Matrix4& matrix, const double point[3], double out[3]);

// True when both affine maps agree to a relative 1e-6: the linear part against its largest
// element, the translation against the larger of its own and that.
bool SameAffineMap(const Matrix4& a, const Matrix4& b);

}  // namespace Field3dIo
