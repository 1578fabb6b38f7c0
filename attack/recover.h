// Plaintexts recovered from their ciphertexts with the relations.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "attack/public_forms.h"
#include "attack/relations.h"

namespace gf3mq {

// The plaintexts over {1, 2} that encrypt back to a ciphertext, in the order
// they are met: none (it is no ciphertext of the key), one (its plaintext),
// or two (it is ambiguous: its plaintext cannot be told from it). Never more:
// two already make it ambiguous, and a key of this scheme has no third.
using Plaintexts = std::vector<std::vector<std::uint8_t>>;
inline constexpr std::size_t kMostPlaintexts = 2;

// The relations at ciphertext c, linear in x: row k of m holds the
// coefficients (a_u . c + b_u)_u of relation k, and constant[k] = g . c + d,
// so that the equations read m x + constant = 0.
struct RelationsAtCiphertext {
  PackedMatrix m;
  std::vector<std::uint8_t> constant;
};
RelationsAtCiphertext relations_at(const Relations& r, const std::uint8_t* c);

// The solutions of m x + constant = 0: particular + the span of the rows of
// directions (n - rank of them). False when there is none.
bool solutions_of(const RelationsAtCiphertext& system, std::vector<std::uint8_t>& particular, PackedMatrix& directions);

// Every point particular + sum of e_i directions_i (3^rows of them), in the
// order of e_0 + 3 e_1 + 9 e_2 + ...
Plaintexts points_of(const std::vector<std::uint8_t>& particular, const PackedMatrix& directions);

// Whether x is over {1, 2} and encrypts to c.
bool encrypts_to(const PublicForms& forms, const std::vector<std::uint8_t>& x, const std::uint8_t* c);

// The plaintexts of the ciphertexts of one key, from its relations.
class PlaintextRecovery {
 public:
  PlaintextRecovery(const Relations& r, const PublicForms& forms) : r_(r), forms_(forms) {}

  // The plaintexts of ciphertext c (n elements). Each relation is linear in x
  // once c is known: sum over u of (a_u . c + b_u) x_u + (g . c + d) = 0. The
  // n equations have rank n - 1 (the identity also holds for U = 0 and for
  // the other square root), so their solutions form a line of three points:
  // the two candidates and central_zero(); every point is tried. At the
  // ciphertext of central_zero() itself every relation vanishes (X = 0, so
  // Y = 0) and every x is a solution: when the solutions are too many to
  // try, central_zero() is the one point tried (X^30 = 0 only at X = 0).
  Plaintexts recover(const std::uint8_t* c);

  // x0 = -Inv_B V2, where X = mat_B x + V2 is 0: the point that the line of
  // every other ciphertext passes through, found from the public key alone
  // where the lines of the ciphertexts of two plaintexts drawn from a fixed
  // seed meet. Found on first need and kept; empty when no two lines meet in
  // one point (the forms are not of this scheme).
  const std::vector<std::uint8_t>& central_zero();

 private:
  const Relations& r_;
  const PublicForms& forms_;
  std::optional<std::vector<std::uint8_t>> zero_;
};

// Below this n the relations cannot be had from the public forms (a set of
// indices whose pairs span and whose equations suffice is as large as n
// itself): the plaintext is searched for instead.
inline constexpr std::size_t kSmallestDegreeForRelations = 9;

// The plaintexts of c by exhaustive search: the first two of the 2^n
// plaintexts over {1, 2} (in the order of x_0 + 2 x_1 + 4 x_2 + ..., digit 0
// for 1 and 1 for 2) that encrypt to c. For n up to kLargestSearch. tried,
// when given, receives the number of plaintexts encrypted.
inline constexpr std::size_t kLargestSearch = 24;
Plaintexts search_plaintexts(const PublicForms& forms, const std::uint8_t* c, std::uint64_t* tried = nullptr);

}  // namespace gf3mq
