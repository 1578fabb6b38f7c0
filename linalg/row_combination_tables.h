// Combinations of many rows by the method of the four Russians.
#pragma once

#include <cstddef>
#include <cstdint>

#include "linalg/secure_wipe.h"

namespace gf3mq {

// Row length of RowCombinationTables: room for 258 positions in whole 64-byte
// vectors.
inline constexpr std::size_t kPaddedRow = 320;

// Tables of the 27 combinations of three rows are filled in order of the
// entry v = c0 + 3 c1 + 9 c2: entry v is entry v - 3^p plus row p, p the
// position of the lowest non-zero base-3 digit of v (v = 1..26).
constexpr std::size_t lowest_nonzero_trit(std::size_t v) { return v % 3 != 0 ? 0 : (v / 3) % 3 != 0 ? 1 : 2; }
constexpr std::size_t power_of_three(std::size_t p) { return p == 0 ? 1 : p == 1 ? 3 : 9; }  // p = 0..2

// The rows are taken three at a time, and for each group all 27
// combinations c0 r_3g + c1 r_(3g+1) + c2 r_(3g+2) (mod 3) are tabulated
// once, entry c0 + 3 c1 + 9 c2. A combination of all n rows then costs one
// table row per group instead of one row per term.
class RowCombinationTables {
 public:
  // Tabulates n rows of `width` bytes (at most kPaddedRow) lying `stride`
  // bytes apart.
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

}  // namespace gf3mq
