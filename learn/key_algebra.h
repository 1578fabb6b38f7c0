// The key set of a folder written as algebra, for reading and for checking
// by hand or in PARI/GP: the field GF(3^n) = GF(3)[x]/(f), the public
// polynomials P_1..P_n in x1..xn and, when asked, the secret maps
// S(x) = mat_B x + V2 and T(Z) = mat_A Z + V1 around F(X) = X^30.
//
// Polynomials and variables count from 1 (P_1..P_n, x1..xn), as in gp;
// coordinates of vectors count from 0, coordinate r being the coefficient of
// x^r of a field element: P_i is coordinate i - 1 of mat_A F(mat_B x + V2) + V1.
//
// A stored public form holds the cross terms x_j x_k (j < k) and the linear
// terms x_j; the squares and the constant are not stored. "new sk.txt" holds,
// for each P_i, the sum of its square coefficients and its constant: what
// they add at every x over {1, 2}^n, where x_j^2 = 1. So for x over {1, 2}^n
//   stored_i(x) + sk[i - 1] = coordinate i - 1 of mat_A F(mat_B x + V2) + V1 (mod 3),
// and the restored P_i is its stored terms plus the constant sk[i - 1].
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "field/field_polynomial.h"
#include "field/sizes.h"
#include "files/digit_file.h"
#include "scheme/decrypt.h"

namespace gf3mq {

// What a key set shows: n, f = x^n - g and the n stored public forms.
struct KeyAlgebra {
  Sizes sizes;
  std::vector<std::uint8_t> g;              // x^n mod f (n coefficients): row 0 of the reduction table
  Polynomial f;                             // x^n - g
  std::vector<std::uint8_t> pk;             // the stored forms, laid out as in key_files.h
  std::unique_ptr<SecretKeyFiles> secrets;  // the six maps and sk, only when they were asked for
};

// Reads the key set at sizes.n (degree_of_reduction_table of field_tables.h)
// of the current folder, whose read lock the caller holds: g from the
// reduction table (checked as field_tables.h checks it), "new pk.txt" and,
// when secret, the six secret files and "new sk.txt". False, with problem
// naming the file, when one is missing or damaged.
bool load_key_algebra(const Sizes& sizes, bool secret, KeyAlgebra& keys, FileProblem* problem);

enum class AlgebraFormat { text, gp };

struct ShowChoice {
  bool secret = false;  // add the secret parts (and restore the constants)
  int polynomial = 0;   // K in 1..n: f and P_K alone; 0: the whole key set
  bool all = false;     // allow the whole key set past kShowLimit
  AlgebraFormat format = AlgebraFormat::text;
};

// The largest n whose whole key set is shown without --all: its polynomials
// have n (n + 1) / 2 terms at most.
inline constexpr int kShowLimit = 31;

// Why choice cannot be shown at n ("" when it can): the whole key set past
// kShowLimit without all, or a polynomial outside 1..n.
std::string show_refusal(int n, const ShowChoice& choice);

// sum over j < k of form(k, j) x(j+1) x(k+1) + sum over j of form(n, j) x(j+1) + constant,
// as "2*x1*x2 + x1*x3 + x7 + 1" (cross terms, then linear terms, then the constant); "0" when empty.
// grouped: the cross terms of each first variable as one, "x1*(2*x2 + x3) + x7 + 1", so that no
// sum has more than 2n terms: gp's parser gives up on a sum of 16,000 to 20,000 (P_1 at 257 has
// 22,000) with "expression nested too deeply".
std::string public_polynomial_text(const Sizes& sizes, const std::uint8_t* form, std::uint8_t constant,
                                   bool grouped = false);

// The polynomials choice shows, P_(i+1) for each i, each as
// public_polynomial_text gives it (grouped in the gp format), with its
// constant sk[i] when secret.
void for_each_shown_polynomial(const KeyAlgebra& keys, const ShowChoice& choice,
                               const std::function<void(int i, const std::string& text)>& shown);

// What the heading of a secret view and the programs showing one say.
const char* secret_warning();

// The key set as text for people (format text) or as PARI/GP input (format
// gp), as choice says; choice is one that show_refusal accepts.
void write_key_algebra(std::ostream& out, const KeyAlgebra& keys, const ShowChoice& choice);
void write_key_algebra_gp(std::ostream& out, const KeyAlgebra& keys, const ShowChoice& choice);

}  // namespace gf3mq
