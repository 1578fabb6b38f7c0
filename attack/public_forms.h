// The stored public forms as the attack reads them, for n variables and n
// polynomials (n the key's: 257 as a rule, any odd n from 5 to 1021).
//
// Stored form j is an (n + 1) x (n + 1) matrix, as in "new pk.txt": entry
// (r, k), k < r < n, is the coefficient of x_k x_r and entry (n, k) that of
// x_k. With q_j(u, v) = form j at (max(u, v), min(u, v)) and L_j(k) = form j
// at (n, k), the attack works on the vectors over j
//   q(u, v) = (q_j(u, v))_j  and  L(k) = (L_j(k))_j,
// each packed (packed_rows.h). Encryption is then
//   c = sum over u < v of x_u x_v q(u, v) + sum over k of x_k L(k).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "linalg/packed_matrix.h"

namespace gf3mq {

class PublicForms {
 public:
  // From n stored forms, form j at stored + j (n + 1)^2, row-major (elements taken mod 3).
  PublicForms(const std::uint8_t* stored, std::size_t n);

  // All zero, for the forms to come in blocks (add_forms).
  explicit PublicForms(std::size_t n);

  // Stored forms [first, first + count), form first + j at stored + j (n + 1)^2,
  // their elements 0, 1, 2: first a multiple of 64, count of them all from
  // first on, or a multiple of 64.
  void add_forms(std::size_t first, const std::uint8_t* stored, std::size_t count);

  std::size_t n() const { return n_; }
  std::size_t words() const { return q_.words(); }
  // q(u, v) for u != v, and L(k): packed vectors of n elements.
  const std::uint64_t* q_ones(std::size_t u, std::size_t v) const { return q_.ones(pair_index(u, v)); }
  const std::uint64_t* q_twos(std::size_t u, std::size_t v) const { return q_.twos(pair_index(u, v)); }
  const std::uint64_t* l_ones(std::size_t k) const { return l_.ones(k); }
  const std::uint64_t* l_twos(std::size_t k) const { return l_.twos(k); }

  // The ciphertext of x (n elements): what encrypt gives for n = 257.
  std::vector<std::uint8_t> encrypt(const std::uint8_t* x) const;

 private:
  std::size_t pair_index(std::size_t u, std::size_t v) const;
  std::size_t n_;
  PackedMatrix q_;  // row pair_index(u, v) is q(u, v)
  PackedMatrix l_;  // row k is L(k)
};

}  // namespace gf3mq
