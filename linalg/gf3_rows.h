// Kernels on contiguous rows of GF(3) elements, one byte per element.
//
// These are the hot loops behind the matrix and vector types: they walk raw
// rows without index checks. Inputs hold 0, 1 or 2 unless a kernel says
// otherwise; outputs always hold 0, 1 or 2.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gf3mq {

// x mod 3 for any byte value.
inline std::uint8_t mod3(unsigned x) { return static_cast<std::uint8_t>(x % 3u); }

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

// Sum of a[i] * b[i] over i, without reduction. Bytes of any value; the
// result fits as long as n * 255 * 255 < 2^32.
std::uint32_t dot_row(const std::uint8_t* a, const std::uint8_t* b, std::size_t n);

// Unreduced accumulation with one reduction per sum: acc[i] += src[i], with
// acc in bytes. From a reduced start, kAccumulateLimit terms of at most 2
// fit before reduce_row is due.
void accumulate_row(std::uint8_t* acc, const std::uint8_t* src, std::size_t n);

// Number of accumulate_row calls of terms <= 2 that a byte holds safely.
inline constexpr int kAccumulateLimit = 126;

}  // namespace gf3mq

namespace gf3mq {

// out[0..width) = sum over j < n_terms of coeffs[j * coeff_step] * row_j (mod 3), where
// row_j = rows + j * stride and doubled + j * stride holds 2 * row_j mod 3.
// Coefficients are 0, 1 or 2; zero coefficients cost nothing. Sums are kept
// unreduced in bytes and reduced once every kAccumulateLimit terms.
void combine_rows(std::uint8_t* out, const std::uint8_t* coeffs, std::ptrdiff_t coeff_step, const std::uint8_t* rows,
                  const std::uint8_t* doubled, std::size_t n_terms, std::size_t stride, std::size_t width);

// The same for rows of kPaddedRow bytes: every row (and out) must have
// kPaddedRow bytes, zeros in the padding. Each output row stays in registers
// across all terms.
inline constexpr std::size_t kPaddedRow = 320;  // room for 258 positions, whole 64-byte vectors
void combine_padded_rows(std::uint8_t* out, const std::uint8_t* coeffs, std::ptrdiff_t coeff_step,
                         const std::uint8_t* rows, const std::uint8_t* doubled, std::size_t n_terms,
                         std::size_t stride);

// Four combinations of the same padded rows at once, out[r] with coefficients
// coeffs[r][0..n_terms): each row is read once for all four, which is what
// bounds the speed when the rows do not fit in the first-level cache.
void combine_padded_rows4(std::uint8_t* const out[4], const std::uint8_t* const coeffs[4],
                          const std::uint8_t* rows, const std::uint8_t* doubled, std::size_t n_terms,
                          std::size_t stride);

}  // namespace gf3mq
