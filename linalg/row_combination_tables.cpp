#include "linalg/row_combination_tables.h"

#include <algorithm>
#include <vector>

#include "linalg/gf3_rows.h"

namespace gf3mq {

namespace {

constexpr std::size_t kGroupEntries = 27;

}  // namespace

void RowCombinationTables::assign(const std::uint8_t* rows, std::size_t n, std::size_t stride, std::size_t width) {
  n_ = n;
  groups_ = (n + 2) / 3;
  entries_.assign(groups_ * kGroupEntries * kPaddedRow, 0);
  std::uint8_t padded[3][kPaddedRow];
  for (std::size_t g = 0; g < groups_; ++g) {
    for (std::size_t p = 0; p < 3; ++p) {
      std::fill_n(padded[p], kPaddedRow, std::uint8_t{0});
      const std::size_t j = 3 * g + p;
      if (j < n) std::copy_n(rows + j * stride, std::min(width, kPaddedRow), padded[p]);
    }
    std::uint8_t* table = entries_.data() + g * kGroupEntries * kPaddedRow;
    for (std::size_t v = 1; v < kGroupEntries; ++v) {
      const std::size_t p = lowest_nonzero_trit(v);
      std::uint8_t* entry = table + v * kPaddedRow;
      std::copy_n(table + (v - power_of_three(p)) * kPaddedRow, kPaddedRow, entry);
      add_row(entry, padded[p], kPaddedRow);
    }
  }
}

void RowCombinationTables::combine(std::uint8_t* out, const std::uint8_t* coeffs, const std::uint8_t* base) const {
  constexpr std::size_t kStackGroups = 128;
  std::uint8_t on_stack[kStackGroups];
  std::vector<std::uint8_t> on_heap;
  std::uint8_t* indices = on_stack;
  if (groups_ > kStackGroups) {
    on_heap.resize(groups_);
    indices = on_heap.data();
  }
  for (std::size_t g = 0; g < groups_; ++g) {
    const std::size_t j = 3 * g;
    unsigned index = coeffs[j];
    if (j + 1 < n_) index += 3u * coeffs[j + 1];
    if (j + 2 < n_) index += 9u * coeffs[j + 2];
    indices[g] = static_cast<std::uint8_t>(index);
  }
  combine_indexed(out, indices, 1, base);
}

void RowCombinationTables::combine_indexed(std::uint8_t* out, const std::uint8_t* indices, std::size_t index_step,
                                           const std::uint8_t* base) const {
  alignas(64) static const std::uint8_t zeros[kPaddedRow] = {};
  constexpr std::size_t kStackGroups = 128;
  const std::uint8_t* on_stack[kStackGroups];
  std::vector<const std::uint8_t*> on_heap;
  const std::uint8_t** picked = on_stack;
  if (groups_ > kStackGroups) {
    on_heap.resize(groups_);
    picked = on_heap.data();
  }
  for (std::size_t g = 0; g < groups_; ++g)
    picked[g] = entries_.data() + (g * kGroupEntries + indices[g * index_step]) * kPaddedRow;
  add_row_combination(out, base != nullptr ? base : zeros, picked, groups_, nullptr, 0, kPaddedRow / 32);
}

}  // namespace gf3mq
