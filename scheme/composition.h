// Public-key composition: the map m -> T(F(S(m))) written out as quadratic
// forms in the plaintext m_0..m_256, with S(m) = mat_B m + V2, F(X) = X^27 X^3
// in GF(3^257) and T(Z) = mat_A Z + V1.
//
// Affine-form matrix, 257 x 258: row r gives the coefficient of x^r as
//   sum over j < 257 of M(r, j) m_j, plus M(r, 257)   (mod 3),
// position 257 standing for the constant m_257 = 1.
// Quadratic-form matrix, 258 x 258: the form's value is
//   sum over k, l <= 257 of Q(k, l) m_k m_l   (mod 3), with m_257 = 1.
// A form list holds 257 quadratic forms (one per field coefficient, or one
// per public polynomial).
//
// Two routes give the public forms: the clear one, routine by routine as
// the system defines it (symbolic_product, then apply_output_map;
// symbolic_public_forms at any n; composition.cpp), and the fast one that
// key generation takes (make_public_forms_in_parallel, collected by
// compose_public_forms; composition_fast.cpp).
#pragma once

#include <functional>
#include <vector>

#include "field/sizes.h"
#include "linalg/mat_zz_p.h"
#include "linalg/vec_zz_p.h"

namespace gf3mq {

using FormList = std::vector<Mat_ZZ_p>;
using ByteList = std::vector<unsigned char>;

}  // namespace gf3mq

// dst = affine forms of X^3, given those of X in src (dst zero on entry).
// Rows 3r take row r of src for r <= 85; row k >= 86 is spread over the
// coefficients by reduction-table row 3k - 257.
void symbolic_cube(const Mat_ZZ_p& src, const Mat_ZZ_p& table, Mat_ZZ_p& dst);

// dst = affine forms of X^27 (dst zero on entry). Rows 27r take row r of src
// for r <= 9; row k >= 10 is spread by Frobenius-table row k.
void symbolic_pow27(Mat_ZZ_p src, const Mat_ZZ_p& table, Mat_ZZ_p& dst);

// Appends to out the 257 quadratic forms of the coefficients of A * B, where
// a and b hold the affine forms of A and B: form r is the sum over j + t = r
// of a_j^T b_t, plus table row e - 257 times the sum over j + t = e for
// e = 257..512 (row index from a, column index from b). Returns 1.
int symbolic_product(const Mat_ZZ_p& a, const Mat_ZZ_p& b, const Mat_ZZ_p& table, gf3mq::FormList& out);

// PK[i] = sum over j of M(i, j) forms[j], plus v[i] on the constant (257, 257).
gf3mq::FormList apply_output_map(const Mat_ZZ_p& M, const Vec_ZZ_p& v, const gf3mq::FormList& forms);

// SK[i] = sum of the 258 diagonal entries of forms[i] (mod 3): the squares'
// coefficients plus the constant.
gf3mq::ByteList diagonal_sums(const gf3mq::FormList& forms);

// Clears every diagonal and moves Q(j, k) + Q(k, j) to Q(k, j) for j < k, so
// only the strict lower triangle holds coefficients. Returns 1.
int fold_public_key(gf3mq::FormList& forms);

namespace gf3mq {

// The unfolded public forms T(F(S(m))) in one pass: the same list that
// symbolic_product of (a27, a3) followed by apply_output_map(M, v, .) gives.
// Form i is a27^T H_i a3 plus v[i] on the constant, with the Hankel matrix
// H_i(j, t) = h_i(j + t) and h_i(e) = sum over r of M(i, r) (x^e mod f)_r.
// At any n (the default 257): n forms of (n + 1) x (n + 1), from the first
// n rows and n + 1 columns of the arguments and table rows 0..n-2.
FormList compose_public_forms(const Mat_ZZ_p& M, const Vec_ZZ_p& v, const Mat_ZZ_p& a27, const Mat_ZZ_p& a3,
                              const Mat_ZZ_p& table, int n = kDefaultSizes.n);

// The same forms, each passed once to consume(i, form) on one of
// worker_threads() threads (the calling thread among them), in no
// particular order and concurrently: consume must be safe to run on
// several forms at once. For work whose result does not depend on order,
// such as writing each form at its own place in a file. consume may change
// the form or swap it for another of (n + 1) x (n + 1): the next form is
// written over it whole.
void make_public_forms_in_parallel(const Mat_ZZ_p& M, const Vec_ZZ_p& v, const Mat_ZZ_p& a27, const Mat_ZZ_p& a3,
                                   const Mat_ZZ_p& table, const std::function<void(int, Mat_ZZ_p&)>& consume,
                                   int n = kDefaultSizes.n);

// The diagonal sum and the folding of diagonal_sums and fold_public_key,
// for a single form of positions x positions (n + 1, 258 at the default).
unsigned char diagonal_sum(const Mat_ZZ_p& form, int positions = kDefaultSizes.variables_and_one());
void fold_form(Mat_ZZ_p& form, int positions = kDefaultSizes.variables_and_one());

// The affine forms of X^3 and X^27 at any n (the reduction table's
// columns), as symbolic_cube and symbolic_pow27 give them at 257.
void symbolic_powers(const Mat_ZZ_p& A_X, const Mat_ZZ_p& reduction, const Mat_ZZ_p& frobenius, Mat_ZZ_p& A_X3_Sum,
                     Mat_ZZ_p& A_X27_Sum);

// The unfolded public forms at any n, by the clear route, routine by routine
// (symbolic_cube, symbolic_pow27, symbolic_product, apply_output_map at the
// n of the reduction table's columns): the reference of the fast route.
FormList symbolic_public_forms(const Mat_ZZ_p& mat_A, const Vec_ZZ_p& V1, const Mat_ZZ_p& A_X,
                               const Mat_ZZ_p& reduction, const Mat_ZZ_p& frobenius);

}  // namespace gf3mq
