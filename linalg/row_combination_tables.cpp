#include "linalg/row_combination_tables.h"

#include <algorithm>
#include <vector>

#include "linalg/gf3_rows.h"

namespace gf3mq {

void ByteRowEntry::add(Unit* entry, const Row& row, std::size_t units) {
  add_row(entry, row.elements, std::min(row.width, units));
}

void RowCombinationTables::assign(const std::uint8_t* rows, std::size_t n, std::size_t stride, std::size_t width) {
  n_ = n;
  tables_.assign(n, 3, padded_row(width), [&](std::size_t j) { return ByteRowEntry::Row{rows + j * stride, width}; });
}

void RowCombinationTables::combine(std::uint8_t* out, const std::uint8_t* coeffs, const std::uint8_t* base) const {
  constexpr std::size_t kStackGroups = 128;
  std::uint8_t on_stack[kStackGroups];
  std::vector<std::uint8_t> on_heap;
  std::uint8_t* indices = on_stack;
  if (groups() > kStackGroups) {
    on_heap.resize(groups());
    indices = on_heap.data();
  }
  for (std::size_t g = 0; g < groups(); ++g) {
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
  if (base == nullptr) {
    const SecretVector<std::uint8_t> zeros(padded_width(), 0);
    return combine_indexed(out, indices, index_step, zeros.data());
  }
  constexpr std::size_t kStackGroups = 128;
  const std::uint8_t* on_stack[kStackGroups];
  std::vector<const std::uint8_t*> on_heap;
  const std::uint8_t** picked = on_stack;
  if (groups() > kStackGroups) {
    on_heap.resize(groups());
    picked = on_heap.data();
  }
  for (std::size_t g = 0; g < groups(); ++g) picked[g] = tables_.entry(g, indices[g * index_step]);
  add_row_combination(out, base, picked, groups(), nullptr, 0, padded_width() / 32);
}

}  // namespace gf3mq
