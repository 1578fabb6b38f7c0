// Kernels on contiguous rows of GF(3) elements, one byte per element.
//
// These are the hot loops behind the matrix and vector types: they walk raw
// rows without index checks. Inputs hold 0, 1 or 2 unless a kernel says
// otherwise; outputs always hold 0, 1 or 2. Every kernel runs at the kernel
// width in use (kernel_width.h), with identical results at each.
//
// Sums are kept unreduced in bytes where that pays; each such kernel states
// how many terms a byte holds, and a static_assert beside the bound proves
// that the worst case (every term 2) stays below 256.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/kernel_width.h"

namespace gf3mq {

// x mod 3 for any byte value.
inline std::uint8_t mod3(unsigned x) { return static_cast<std::uint8_t>(x % 3u); }

// k mod 3 in 0..2, also for negative k.
inline unsigned residue3(int k) { return static_cast<unsigned>(((k % 3) + 3) % 3); }

// dst[i] = (dst[i] + src[i]) mod 3
void add_row(std::uint8_t* dst, const std::uint8_t* src, std::size_t n);

// dst[i] = (dst[i] + 3 - src[i]) mod 3
void sub_row(std::uint8_t* dst, const std::uint8_t* src, std::size_t n);

// dst[i] = (dst[i] + k * src[i]) mod 3, k in 0..2
void add_scaled_row(std::uint8_t* dst, const std::uint8_t* src, unsigned k, std::size_t n);

// dst[i] = (k * src[i]) mod 3, k in 0..2
void scale_row(std::uint8_t* dst, const std::uint8_t* src, unsigned k, std::size_t n);

// x[i] = x[i] mod 3 for bytes of any value
void reduce_row(std::uint8_t* x, std::size_t n);

// Sum of a[i] * b[i] over i, without reduction. Bytes of any value, n at
// most kDotRowMaxTerms: the worst case, n * 255 * 255, stays below 2^32.
std::uint32_t dot_row(const std::uint8_t* a, const std::uint8_t* b, std::size_t n);
inline constexpr std::size_t kDotRowMaxTerms = 1 << 16;
static_assert(kDotRowMaxTerms * 255 * 255 < (std::uint64_t{1} << 32), "dot_row's sum must fit 32 bits");

// Unreduced accumulation: acc[i] += src[i], in bytes. From a reduced start
// (at most 2), kAccumulateLimit terms of at most 2 fit before reduce_row is
// due.
void accumulate_row(std::uint8_t* acc, const std::uint8_t* src, std::size_t n);
inline constexpr int kAccumulateLimit = 126;
static_assert(2 + kAccumulateLimit * 2 <= 255, "a reduced byte plus kAccumulateLimit terms of 2 must fit a byte");

// out[0..width) = sum over j < n_terms of coeffs[j * coeff_step] * row_j (mod 3), where
// row_j = rows + j * stride and doubled + j * stride holds 2 * row_j mod 3.
// Coefficients are 0, 1 or 2; zero coefficients cost nothing. Sums are kept
// unreduced in bytes and reduced once every kAccumulateLimit terms.
void combine_rows(std::uint8_t* out, const std::uint8_t* coeffs, std::ptrdiff_t coeff_step, const std::uint8_t* rows,
                  const std::uint8_t* doubled, std::size_t n_terms, std::size_t stride, std::size_t width);

// out = (base + sum of the rows `once` + 2 * sum of the rows `twice`) mod 3,
// element by element over 32 * vectors bytes, all of which base, out and
// every row must have; base and rows hold 0..2. The sum is kept in
// registers, in parts where it does not fit them, and reduced before a byte
// could pass 255 (kCombineHeadroom, kCombineTermsPerReduction); out may be
// base.
void add_row_combination(std::uint8_t* out, const std::uint8_t* base, const std::uint8_t* const* once,
                         std::size_t n_once, const std::uint8_t* const* twice, std::size_t n_twice,
                         std::size_t vectors);

// The 32-byte versions track a bound on the bytes: base at most 2, a row
// taken once adds at most 2, a row taken twice adds 3 - row, at most 3. The
// sums are reduced once the bound passes kCombineHeadroom, so a byte never
// holds more than kCombineHeadroom + 3.
inline constexpr unsigned kCombineHeadroom = 255 - 3;
static_assert(kCombineHeadroom + 3 <= 255, "the sum after the last term before a reduction must fit a byte");

// The 64-byte versions (AVX-512) sum rows taken once onto base and rows
// taken twice apart, reducing each after kCombineTermsPerReduction terms,
// and add the doubled second sum at the end (at most 2 + 2 * 2).
inline constexpr std::size_t kCombineTermsPerReduction = 126;
static_assert(2 + kCombineTermsPerReduction * 2 <= 255, "base plus the terms between reductions must fit a byte");

}  // namespace gf3mq
