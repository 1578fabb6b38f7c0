// The polynomial f of GF(3^257) = GF(3)[x] / (f), monic of degree 257, and
// the two tables that describe the field through it (see field_tables.h):
//
//   reduction table, 512 x 257:  row r = x^(257 + r) mod f
//   Frobenius table, 257 x 257:  row k = x^(27 k) mod f
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "linalg/mat_zz_p.h"

namespace gf3mq {

// f = sum coef[i] x^i, i = 0..257, with coef[257] = 1.
struct Polynomial {
  std::array<std::uint8_t, 258> coef{};
};

// "x^257 + 2*x^91 + 1": highest power first, zero terms left out.
std::string format_polynomial(const Polynomial& f);

// f recovered from row 0 of its reduction table: x^257 - row 0.
Polynomial polynomial_of_table(const Mat_ZZ_p& reduction);

// f(a) for a in GF(3).
unsigned evaluate(const Polynomial& f, unsigned a);

// Reduction table of f: row 0 = x^257 mod f = -(f - x^257), row r + 1 = x * row r mod f.
Mat_ZZ_p build_reduction_table(const Polynomial& f);

// Frobenius table from a reduction table: rows 0..9 are x^0, x^27, ...,
// x^243; row k + 1 = row k * x^27 mod f, the 27 terms above x^256 folded back
// with reduction rows 0..26.
Mat_ZZ_p build_frobenius_table(const Mat_ZZ_p& reduction);

// True when f is irreducible: since 257 is prime, exactly when
// x^(3^257) = x (mod f) and f has no root in GF(3).
bool is_irreducible(const Polynomial& f);

// The same for the f of a reduction table whose rows all follow from row 0.
bool is_irreducible(const Polynomial& f, const Mat_ZZ_p& reduction);

}  // namespace gf3mq
