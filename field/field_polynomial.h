// The polynomial f of GF(3^n) = GF(3)[x] / (f), monic of degree n, and the
// two tables that describe the field through it (see field_tables.h):
//
//   reduction table, (2n - 2) x n:  row r = x^(n + r) mod f
//   Frobenius table, n x n:         row k = x^(27 k) mod f
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "files/file_problem.h"
#include "linalg/mat_zz_p.h"
#include "runtime/progress.h"

namespace gf3mq {

// f = sum coef[i] x^i, i = 0..n, with coef[n] = 1 for a monic f.
struct Polynomial {
  std::vector<std::uint8_t> coef;

  int degree() const { return static_cast<int>(coef.size()) - 1; }
};

// How a coefficient meets its power of x: "2x^5" for people, "2*x^5" as
// PARI/GP reads it.
enum class PolynomialForm { plain, gp };

// sum of a[i] x^i as "2x^5 + x^2 + 2x + 1" (or "2*x^5 + x^2 + 2*x + 1"):
// highest power first, zero terms left out; "0" when every a[i] is 0.
// variable names the unknown ("x").
std::string polynomial_text(const std::uint8_t* a, std::size_t n, const char* variable = "x",
                            PolynomialForm form = PolynomialForm::plain);

// "x^257 + 2*x^91 + 1": f's polynomial_text in the gp form.
std::string format_polynomial(const Polynomial& f);

// f recovered from row 0 of its reduction table: x^n - row 0, n its columns.
Polynomial polynomial_of_table(const Mat_ZZ_p& reduction);

// f(a) for a in GF(3).
unsigned evaluate(const Polynomial& f, unsigned a);

// Reduction table of f: row 0 = x^n mod f = -(f - x^n), row r + 1 = x * row r mod f.
Mat_ZZ_p build_reduction_table(const Polynomial& f);

// Frobenius table from a reduction table: row k = x^(27 k) mod f, x^k cubed
// three times.
Mat_ZZ_p build_frobenius_table(const Mat_ZZ_p& reduction);

// True when f is irreducible (Rabin's test): f has no root in GF(3),
// x^(3^n) = x (mod f), and gcd(x^(3^(n/p)) - x, f) = 1 for every prime p
// dividing n (for a prime n, the first two suffice). Most reducible f are
// turned away before the n cubes, by a root or by a factor of degree 2 to 5
// (gcd(f mod (x^(3^d) - x), x^(3^d) - x), of degree 3^d at most). An f of
// few terms, or whose reciprocal x^n f(1/x) / f(0) has few, is cubed in the
// sparse arithmetic (sparse_kernels.h) with no table built.
bool is_irreducible(const Polynomial& f);

// The same for the f of a reduction table whose rows all follow from row 0.
bool is_irreducible(const Polynomial& f, const Mat_ZZ_p& reduction);

// The default f of degree n: x^257 + 2x^22 + 1 for n = 257; for any other n
// the first irreducible trinomial x^n + a x^k + b in the order of k, then a,
// then b (a, b in {1, 2}); where n has none (49, 57, 65, ...), the first
// irreducible x^n + a x^k + b x^j + c in the order of k, j (k > j > 0), a,
// b, c. progress (when given) hears the fraction of candidates tried, in
// the phase "searching for an irreducible f".
Polynomial default_polynomial(int n, const PhaseProgress& progress = {});

// Parses terms c*x^k, x^k, c*x, x and c (c in 0..2) joined by '+', in any
// order, spaces allowed; repeated powers add up. f must be monic of an odd
// degree from 5 to 1021 (sizes.h). False with problem filled otherwise.
bool parse_polynomial(const std::string& text, Polynomial& f, FileProblem* problem);

// "the sizes are the odd n from 5 to 1021", for messages that refuse one.
std::string sizes_that_exist();

}  // namespace gf3mq
