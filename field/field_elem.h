// Arithmetic on concrete elements of GF(3^257) = GF(3)[x] / (f).
//
// FieldElem: coef[i] is the coefficient of x^i, i = 0..256, each 0, 1 or 2;
// the record stands for the residue class of sum coef[i] x^i modulo f. The
// reduction table (field_tables.h) supplies f: its row r is x^(257 + r) mod f.
// These are the field's fixed-size face: each function wraps the one field
// of every n (field.h) at 257, keeping the way it reduces (field_elem.cpp).
#pragma once

#include <array>
#include <cstdint>

#include "field/sizes.h"
#include "linalg/mat_zz_p.h"
#include "runtime/secure_wipe.h"

struct FieldElem {
  std::uint8_t coef[gf3mq::kDefaultSizes.n] = {};  // coef[i]: coefficient of x^i

  // Elements inside decryption are secret: wiped when they go out of scope.
  ~FieldElem() { gf3mq::secure_wipe(coef, sizeof coef); }

  friend bool operator==(const FieldElem&, const FieldElem&) = default;
};

// out = a * b mod f. Returns 1. Whatever out held before is ignored; out may
// be a or b itself. f = x^257 - g with g = table row 0; where g has a few
// terms of low degree (the usual trinomials, field_reducer.h), x^257 is
// replaced by g alone, otherwise each x^e, e >= 257, by table row e - 257.
// Both give a * b mod f for a reduction table, whose rows r are
// x^(257 + r) mod f (load_reduction_table checks every row of the table it
// loads). Rows 0..255 must exist.
int field_mul(const FieldElem& a, const FieldElem& b, const Mat_ZZ_p& table, FieldElem& out);

// powers row i = Y^(3^i) for i = 1..256 (row 0 untouched), where Y is y on
// entry; on return y = Y^(3^256). powers must be 257 x 257. Returns 1.
int frobenius_powers(FieldElem& y, const Mat_ZZ_p& table, Mat_ZZ_p& powers);

// out = Y^d with d = sum of 3^t over t in inverse_exponent_digits, where
// powers row t holds Y^(3^t). For Y = X^30, Y^d is X or -X. Returns 1.
int central_map_inverse(const Mat_ZZ_p& powers, const Mat_ZZ_p& table, FieldElem& out);

// The base-3 digit positions of d: every t in 2..255 with t mod 4 in {2, 3},
// then 256. 30 d = 1 (mod (3^257 - 1) / 2).
extern const std::array<int, 129> inverse_exponent_digits;

namespace gf3mq {

// out = y^3 mod f: x^k -> x^(3k), reduced with table row 3k - 257 for k >= 86.
void field_cube(const FieldElem& y, const Mat_ZZ_p& table, FieldElem& out);

// Y^d for y = Y: what frobenius_powers and then central_map_inverse give
// with this table. Where the table's rows are checked to follow from row 0
// (the sparse tables of field_reducer.h), its products and cubes are those of
// the field and Y^d comes by a shorter chain (Field::central_map_root):
// about 255 cubes and a dozen products in place of 256 cubes and 128
// products. Other tables take the long way, row by row as given. Reads
// table rows 0..511.
FieldElem central_map_root(const FieldElem& y, const Mat_ZZ_p& table);

}  // namespace gf3mq
