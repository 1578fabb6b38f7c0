// Combinations of many byte rows from tables of the combinations of three
// rows at a time (combination_tables.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "linalg/combination_tables.h"

namespace gf3mq {

// The row length of RowCombinationTables for rows of `width` bytes: whole
// 64-byte vectors.
constexpr std::size_t padded_row(std::size_t width) { return (width + 63) / 64 * 64; }

// That length for the rows of 257 and 258 elements.
inline constexpr std::size_t kPaddedRow = padded_row(258);
static_assert(kPaddedRow == 320);

// An entry of padded_row(width) bytes, each 0..2; a row is its first `width` bytes.
struct ByteRowEntry {
  using Unit = std::uint8_t;
  struct Row {
    const std::uint8_t* elements;
    std::size_t width;
  };
  static void add(Unit* entry, const Row& row, std::size_t units);
};

// The rows are taken three at a time; for each group all 27 combinations
// c0 r_3g + c1 r_(3g+1) + c2 r_(3g+2) (mod 3) are tabulated once, entry
// c0 + 3 c1 + 9 c2.
class RowCombinationTables {
 public:
  // Tabulates n rows of `width` bytes lying `stride` bytes apart.
  void assign(const std::uint8_t* rows, std::size_t n, std::size_t stride, std::size_t width);

  // The length of the rows combine writes: padded_row(width).
  std::size_t padded_width() const { return tables_.units(); }

  // out[0..padded_width()) = base + sum over j < n of coeffs[j] * row_j
  // (mod 3), coefficients 0, 1 or 2; base (padded_width() bytes of 0..2)
  // may be out itself.
  void combine(std::uint8_t* out, const std::uint8_t* coeffs, const std::uint8_t* base) const;

  std::size_t groups() const { return tables_.groups(); }

 private:
  std::size_t n_ = 0;
  CombinationTables<ByteRowEntry> tables_;
};

}  // namespace gf3mq
