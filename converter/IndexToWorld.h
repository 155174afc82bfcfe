// The index-to-world matrix of a converted grid, from a frame's world-to-grid transform.
#pragma once

struct IndexToWorldMatrix {
  // Row-vector form: a point p maps to p * m, translation in the last row, last column (0,0,0,1).
  double m[4][4];
  // The frame transform had no usable inverse (determinant 0 or not finite, or an inverse that
  // is not finite); m is then the identity, so the grids keep their index-space placement.
  bool singular;
};

// frameTransform: twelve floats, a 3x3 matrix row by row then a translation row, mapping a world
// point p to p * M + t. The inverse is formed from the cofactors of M: the determinant and its
// reciprocal in double precision, each cofactor in single precision, scaled by the reciprocal in
// double and stored as float; the translation becomes -t * inverse(M) in single precision.
IndexToWorldMatrix IndexToWorldFromFrameTransform(const float frameTransform[12]);
