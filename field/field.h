// Arithmetic in GF(3^n) = GF(3)[x] / (f) at any size n (sizes.h), on rows
// of coefficients: an element a is a[0..n), a[i] the coefficient of x^i,
// each 0, 1 or 2. One field for every n, 257 among them, over the reducers
// of field_reducer.h; FieldElem and its functions (field_elem.h) are its
// fixed-size face.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "field/field_reducer.h"
#include "linalg/mat_zz_p.h"
#include "runtime/secure_wipe.h"

namespace gf3mq {

// An element of GF(3^n): n coefficients, wiped when released.
using Element = SecretVector<std::uint8_t>;

class Field {
 public:
  // The arithmetic mod f of a reduction table, (2n - 2) x n, row r =
  // x^(n + r) mod f, whose rows follow from row 0 (check_reduction_table
  // makes sure of that; only row 0, g = x^n mod f, is read where g has a
  // few terms of degree at most n / 2, the others otherwise).
  explicit Field(const Mat_ZZ_p& reduction);
  // The arithmetic of a reducer (field_reducer.h), of a table taken as it
  // is: its products and cubes are the table's own, and Y^d is the field's
  // only where the reducer follows field arithmetic.
  explicit Field(std::unique_ptr<FieldReducer> reducer);

  int n() const { return reducer_->n(); }
  Element zero() const { return Element(static_cast<std::size_t>(n()), 0); }

  // out = a b mod f
  void product(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out) const { reducer_->product(a, b, out); }
  void cube(const std::uint8_t* y, std::uint8_t* out) const { reducer_->cube(y, out); }  // out = y^3 mod f
  Element product(const Element& a, const Element& b) const;
  Element cube(const Element& y) const;
  Element frobenius(Element y, int times) const;  // y^(3^times)

  // out = Y^d (out not y) with 30 d = 1 + (3^n - 1) / 2 (mod 3^n - 1): X or
  // -X for Y = X^30. d = 1 + 116 T for n = 1 (mod 4), T the sum of 3^(4k)
  // for k < (n - 1) / 4; d = 10 + 828 T for n = 3 (mod 4), k < (n - 3) / 4.
  // In the field, Y (Y^116)^T or Y^10 (Y^828)^T: about n cubes and a few
  // products. Otherwise the long way, as the digits of d say: every
  // Y^(3^t) by cubes, and out = Y^(3^t0) times each further Y^(3^t), t
  // ascending, once per unit of its digit (at 257, the products of
  // central_map_inverse).
  void central_map_root(const std::uint8_t* y, std::uint8_t* out) const;
  Element central_map_root(const Element& y) const;

  // The base-3 digits of d, lowest first (for showing how Y^d is taken).
  std::vector<std::uint8_t> root_exponent_digits() const;

 private:
  void power(const std::uint8_t* y, unsigned e, std::uint8_t* out) const;  // out = y^e, 1 <= e small
  void root_by_digits(const std::uint8_t* y, std::uint8_t* out) const;

  std::unique_ptr<Mat_ZZ_p> rows_;  // a copy of the table, for a reducer that reads its rows
  std::unique_ptr<FieldReducer> reducer_;
  bool exact_;  // the results are the field's
};

}  // namespace gf3mq
