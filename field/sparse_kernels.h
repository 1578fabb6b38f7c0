// Cubes and reductions modulo f = x^n - g for a g with few terms of low
// degree (the usual trinomials), at any n, on byte buffers of coefficients:
// coefficient e of a polynomial at index e, each 0, 1 or 2.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "field/sizes.h"

namespace gf3mq {

// x^n = g = sum over t of factor[t] x^power[t], powers ascending.
struct SparseForm {
  static constexpr int kMaxTerms = 16;
  int terms = 0;
  int power[kMaxTerms] = {};
  std::uint8_t factor[kMaxTerms] = {};  // 1 or 2
};

// The highest degree of a sparse g at n: each round of a reduction then
// lowers the top degree by at least n - n / 2.
constexpr int max_sparse_degree(int n) { return n / 2; }

// g = x^n mod f from its n coefficients g[0..n), if it has at most kMaxTerms
// terms, all of degree at most max_sparse_degree(n), and some term; none
// otherwise (also for a coefficient above 2).
std::optional<SparseForm> sparse_form_of(const std::uint8_t* g, int n);

// Bytes of the buffers of a cube or product before reduction at n: x^0 ..
// x^(3n - 3) padded to whole 64-byte vectors, and one vector more, zero,
// for the reads of a reduction.
constexpr std::size_t sparse_buffer_bytes(int n) { return (3 * static_cast<std::size_t>(n) - 2 + 63) / 64 * 64 + 64; }
inline constexpr std::size_t kSparseBufferBytes = sparse_buffer_bytes(kLargestDegree);  // enough at every n

// p[3k] = y[k] for k < n, every other byte of p[0..sparse_buffer_bytes(n))
// 0: y^3 before reduction (the Frobenius map is additive in characteristic 3).
void spread_to_cube(const std::uint8_t* y, int n, std::uint8_t* p);

// out[0..n) = p[0..top] mod f, for p with coefficients 0..2 up to top <= 3n - 3
// and zeros above it through top + 64; p is overwritten. Each round clears the
// block H above x^(n - 1) and adds g * H back, one shifted copy of H per term
// of g, lowering the top degree by n - deg g.
void reduce_sparse(std::uint8_t* p, int n, int top, const SparseForm& g, std::uint8_t* out);

}  // namespace gf3mq
