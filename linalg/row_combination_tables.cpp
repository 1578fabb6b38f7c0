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
  const std::uint8_t* on_stack[kStackGroups];
  std::vector<const std::uint8_t*> on_heap;
  const std::uint8_t** picked = on_stack;
  if (groups() > kStackGroups) {
    on_heap.resize(groups());
    picked = on_heap.data();
  }
  // Group g's entry: c0 + 3 c1 + 9 c2 of its coefficients.
  for (std::size_t g = 0; g < groups(); ++g) {
    const std::size_t j = 3 * g;
    unsigned index = coeffs[j];
    if (j + 1 < n_) index += 3u * coeffs[j + 1];
    if (j + 2 < n_) index += 9u * coeffs[j + 2];
    picked[g] = tables_.entry(g, index);
  }
  add_row_combination(out, base, picked, groups(), nullptr, 0, padded_width() / 32);
}

}  // namespace gf3mq
