// Bilinear relations between plaintext and ciphertext, found from the public
// key alone.
//
// The central map is X^30 = U^(3^2 + 1) with U = X^3, and Y = X^30 satisfies
// U^(3^4) Y = U Y^(3^2) for every X. U is an affine function of the
// plaintext x and Y of the ciphertext c, so each of the n coordinates of
// this identity is a relation
//   R(x, c) = sum over u, j of a(u, j) x_u c_j + sum of b_u x_u + sum of g_j c_j + d = 0   (mod 3)
// that holds for every plaintext over {1, 2} and its ciphertext as encrypt
// gives it (the secret-key corrections are absorbed into b, g and d). For a
// given ciphertext the n relations are linear equations in x of rank n - 1:
// a line of three points, one of which is the plaintext (recover.h).
//
// Over plaintexts in {1, 2} = {1, -1} (x_k^2 = 1), substituting c = c(x)
// into R and collecting each multilinear monomial gives linear equations in
// the unknowns; with a_u the row u of a, and q, L as in public_forms.h:
//   x_a x_b x_e:  a_a . q(b, e) + a_b . q(a, e) + a_e . q(a, b) = 0
//   x_a x_b:      a_a . L(b) + a_b . L(a) + g . q(a, b) = 0
//   x_a:          sum over u != a of a_u . q(u, a) + b_a + g . L(a) = 0
//   1:            sum over u of a_u . L(u) + d = 0
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "attack/public_forms.h"
#include "linalg/packed_matrix.h"
#include "runtime/progress.h"

namespace gf3mq {

struct Relations {
  std::size_t n = 0;
  std::vector<PackedMatrix> a;  // a[k] (n x n): row u is (a(u, j))_j of relation k
  PackedMatrix b;               // row k: (b_u)_u of relation k
  PackedMatrix g;               // row k: (g_j)_j of relation k
  std::vector<std::uint8_t> d;  // d of relation k

  std::size_t count() const { return a.size(); }
};

// What the last computation of relations did, for the user.
struct RelationsReport {
  std::string failure;  // empty on success
  std::size_t equations = 0, unknowns = 0, set_size = 0;
  std::size_t rank = 0;  // of the equations: unknowns less the dimension of their kernel
};

// From the public forms (the fast route): the degree-three equations of a
// set S of s indices, whose s (s - 1) / 2 vectors q(a, b) span GF(3)^n,
// express every other row a_e through the rows a_S; the equations left over
// (those of each e beyond a basis of pairs, and the triples inside S) are
// linear in the s n unknowns of a_S, and their kernel is the relations'
// a_S. The degree-two, one and zero equations then give g, b and d. s is
// the smallest that spans and gives enough equations; it grows while the
// kernel is larger than n (too few equations), by three at most: a public
// key whose relations are still more than n then is not one of this
// scheme, and is refused (report->failure says so), as is at once one
// whose kernel is more than 2n with any set. The elimination and
// the rest of each relation run on `threads` threads (0: worker_threads());
// the relations are the same for every count.
bool relations_from_public_forms(const PublicForms& forms, Relations& out, const PhaseProgress& progress = {},
                                 RelationsReport* report = nullptr, unsigned threads = 0);

// From pairs (the slow route, for checking the fast one): (n + 1)^2 + 16
// random plaintexts over {1, 2} and their ciphertexts give one equation
// each in all the unknowns (a, b, g, d); the kernel is the relations. Its
// elimination has (n + 1)^2 columns: minutes and 1.1 GB at n = 257.
bool relations_from_pairs(const PublicForms& forms, std::uint64_t seed, Relations& out,
                          const PhaseProgress& progress = {}, RelationsReport* report = nullptr);

// Whether every relation holds at `points` random plaintexts over {1, 2}.
bool relations_hold(const Relations& r, const PublicForms& forms, int points, std::uint64_t seed);

}  // namespace gf3mq
