// Building and checking the two field-table files from a monic polynomial f
// of degree 257 over GF(3).
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

// The polynomial the tool uses when none is given.
inline constexpr const char* kDefaultPolynomial = "x^257 + 2*x^22 + 1";

// Parses terms c*x^k, x^k, c*x, x and c (c in 0..2) joined by '+', in any
// order, spaces allowed; repeated powers add up. f must be monic of degree
// 257. False with error filled otherwise.
bool parse_polynomial(const std::string& text, Polynomial& f, std::string& error);

// "x^257 + 2*x^91 + 1": highest power first, zero terms left out.
std::string format_polynomial(const Polynomial& f);

// Reduction table of f: row r = x^(257 + r) mod f, 512 x 257.
Mat_ZZ_p build_reduction_table(const Polynomial& f);

// Frobenius table: row k = x^(27 k) mod f, 257 x 257, from the reduction table.
Mat_ZZ_p build_frobenius_table(const Mat_ZZ_p& reduction);

// f recovered from row 0 of its reduction table: x^257 - row 0.
Polynomial polynomial_of_table(const Mat_ZZ_p& reduction);

// f(a) for a in GF(3).
unsigned evaluate(const Polynomial& f, unsigned a);

// True when f is irreducible: since 257 is prime, exactly when
// x^(3^257) = x (mod f) and f has no root in GF(3).
bool is_irreducible(const Polynomial& f);

// Writes both table files for f into the current directory. Refuses (false,
// error filled, nothing written) when f is reducible or either file exists.
bool write_tables(const Polynomial& f, std::string& error);

// Checks the two table files of the current directory: complete, only 0, 1,
// 2, f from row 0 irreducible, reduction row r + 1 = x * row r mod f,
// Frobenius row k = x^(27 k) mod f. On success message names f; otherwise it
// names the first bad file and row.
bool check_tables(std::string& message);

}  // namespace gf3mq
