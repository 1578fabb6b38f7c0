// Cubes and reductions modulo f = x^257 - g for a g with few terms of low
// degree (the usual trinomials), on byte buffers of coefficients: coefficient
// e of a polynomial at index e, each 0, 1 or 2.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gf3mq {

// x^257 = g = sum over t of factor[t] x^power[t], powers ascending.
struct SparseForm {
  static constexpr int kMaxTerms = 16;
  static constexpr int kMaxDegree = 128;
  int terms = 0;
  int power[kMaxTerms] = {};
  std::uint8_t factor[kMaxTerms] = {};  // 1 or 2
};

// Polynomials up to x^768 (a cube before reduction), padded to whole 64-byte
// vectors and with room for the shifted additions of a reduction.
inline constexpr std::size_t kSparseBufferBytes = 1024;

// p[3k] = y[k] for k < 257, every other byte of p[0..kSparseBufferBytes) 0:
// y^3 before reduction (the Frobenius map is additive in characteristic 3).
void spread_to_cube(const std::uint8_t* y, std::uint8_t* p);

// out[0..257) = p[0..top] mod f, for p[0..kSparseBufferBytes) with
// coefficients 0..2 up to top <= 768 and zeros above; p is overwritten.
// Each round clears the block H above x^256 and adds g * H back, one
// shifted copy of H per term of g, lowering the top degree by 257 - deg g.
void reduce_sparse(std::uint8_t* p, int top, const SparseForm& g, std::uint8_t* out);

}  // namespace gf3mq
