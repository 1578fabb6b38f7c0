// Affine maps S(m) = M m + v of GF(3)^n: random secret ones, their
// augmented form, and applying them forwards and backwards.
#pragma once

#include "linalg/mat_zz_p.h"
#include "linalg/vec_zz_p.h"
#include "scheme/gf3_source.h"

// Draws a random invertible M and then a random v, as gf3mq::random_affine_map
// does, from the operating system's secure generator.
int random_affine_map(Mat_ZZ_p& M, Vec_ZZ_p& v);

// A_X = [M | v], 257 x 258: row i is the affine form of coordinate i of
// M m + v, column 257 standing for the constant 1.
Mat_ZZ_p augment_affine_map(const Mat_ZZ_p& M, const Vec_ZZ_p& v);

namespace gf3mq {

// Draws a random invertible M (row by row, redrawn whole until nonsingular
// accepts it) and then a random v, keeping the shapes M and v already have.
// Returns 0, or -1 when the source failed (M and v then hold no secret).
int random_affine_map(Mat_ZZ_p& M, Vec_ZZ_p& v, Gf3Source& source);

// [M | v] for an n x n matrix M at any n: n x (n + 1).
Mat_ZZ_p augmented(const Mat_ZZ_p& M, const Vec_ZZ_p& v);

}  // namespace gf3mq

Vec_ZZ_p affine_inverse(const Mat_ZZ_p& M, const Vec_ZZ_p& y, const Vec_ZZ_p& v);  // M (y - v)
Vec_ZZ_p affine_apply(const Mat_ZZ_p& M, const Vec_ZZ_p& x, const Vec_ZZ_p& v);    // M x + v
