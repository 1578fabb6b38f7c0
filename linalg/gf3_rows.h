// Kernels on contiguous rows of GF(3) elements, one byte per element.
//
// These are the hot loops behind the matrix and vector types: they walk raw
// rows without index checks. Inputs hold 0, 1 or 2 unless a kernel says
// otherwise; outputs always hold 0, 1 or 2.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "linalg/secure_wipe.h"

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

// out[0..width) = sum over j < n_terms of coeffs[j * coeff_step] * row_j (mod 3), where
// row_j = rows + j * stride and doubled + j * stride holds 2 * row_j mod 3.
// Coefficients are 0, 1 or 2; zero coefficients cost nothing. Sums are kept
// unreduced in bytes and reduced once every kAccumulateLimit terms.
void combine_rows(std::uint8_t* out, const std::uint8_t* coeffs, std::ptrdiff_t coeff_step, const std::uint8_t* rows,
                  const std::uint8_t* doubled, std::size_t n_terms, std::size_t stride, std::size_t width);

// out = (base + sum of the rows `once` + 2 * sum of the rows `twice`) mod 3,
// element by element over 32 * vectors bytes, all of which base, out and
// every row must have; base and rows hold 0..2. The sum is kept in
// registers, in parts where it does not fit them; out may be base.
void add_row_combination(std::uint8_t* out, const std::uint8_t* base, const std::uint8_t* const* once,
                         std::size_t n_once, const std::uint8_t* const* twice, std::size_t n_twice,
                         std::size_t vectors);

// product[0..576) = a * b as polynomials over GF(3), with a and b of
// `length` <= 257 coefficients (any byte values, taken mod 3); coefficient e
// of the product at index e, zeros above 2 * length - 2.
inline constexpr std::size_t kPolyMaxLength = 257;
inline constexpr std::size_t kPolyProductBytes = 576;
void poly_mul(const std::uint8_t* a, const std::uint8_t* b, std::size_t length, std::uint8_t* product);

// Row length of RowCombinationTables: room for 258 positions in whole 64-byte
// vectors.
inline constexpr std::size_t kPaddedRow = 320;

// Combinations of many rows by the method of the four Russians: the rows are
// taken three at a time, and for each group all 27 combinations
// c0 r_3g + c1 r_(3g+1) + c2 r_(3g+2) (mod 3) are tabulated once, entry
// c0 + 3 c1 + 9 c2. A combination of all n rows then costs one table row per
// group instead of one row per term.
class RowCombinationTables {
 public:
  // Tabulates n rows of `width` bytes lying `stride` bytes apart.
  void assign(const std::uint8_t* rows, std::size_t n, std::size_t stride, std::size_t width);

  // out[0..kPaddedRow) = base + sum over j < n of coeffs[j] * row_j (mod 3),
  // coefficients 0, 1 or 2; base (kPaddedRow bytes of 0..2, zeros when
  // null) may be out itself.
  void combine(std::uint8_t* out, const std::uint8_t* coeffs, const std::uint8_t* base = nullptr) const;

  // The same with the entry index c0 + 3 c1 + 9 c2 of every group given:
  // group g's index is indices[g * index_step].
  void combine_indexed(std::uint8_t* out, const std::uint8_t* indices, std::size_t index_step,
                       const std::uint8_t* base = nullptr) const;

  std::size_t groups() const { return groups_; }

 private:
  std::size_t n_ = 0;
  std::size_t groups_ = 0;
  SecretVector<std::uint8_t> entries_;  // groups_ x 27 x kPaddedRow; combinations of secret rows
};

// Whether kernels with AVX-512 versions use them on processors that have
// AVX-512 (the default); tests switch them off to exercise the others.
void set_avx512_kernels(bool enabled);

}  // namespace gf3mq
