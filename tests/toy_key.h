// Keys of the scheme over toy fields GF(3^n), n prime (so that X^30 stays
// two-to-one and irreducibility is easy to prove), for tests of the attack.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace gf3mq::test {

struct ToyKey {
  std::size_t n = 0;
  std::vector<std::uint8_t> f;             // x^n = -(f_0 + f_1 x + ... + f_(n-1) x^(n-1))
  std::vector<std::uint8_t> mat_A, mat_B;  // n x n, row-major
  std::vector<std::uint8_t> V1, V2;
  std::vector<std::uint8_t> stored;  // n forms of (n + 1) x (n + 1), as in "new pk.txt"
  std::vector<std::uint8_t> sk;      // the corrections: squares plus constant
};

// A key from random invertible maps around X^30, its stored forms taken by
// evaluating the public map at 0, at e_k, 2 e_k and e_k + e_r.
ToyKey make_toy_key(std::size_t n, std::uint64_t seed);

// Stored forms (n forms of (n + 1) x (n + 1)) with more relations than a key
// of this scheme: form i is sum over j of A(i, j) x_a(j) x_b(j), A random and
// invertible, (a(j), b(j)) the first n pairs of the first `indices` indices.
// For each monomial x_a x_b, x_a x_b x_a = x_b over {1, 2}: two relations per
// form, while the pairs still span GF(3)^n.
std::vector<std::uint8_t> monomial_forms(std::size_t n, std::size_t indices, std::uint64_t seed);

// mat_A F(mat_B x + V2) + V1 with F(X) = X^30.
std::vector<std::uint8_t> toy_public_map(const ToyKey& key, const std::vector<std::uint8_t>& x);

}  // namespace gf3mq::test
