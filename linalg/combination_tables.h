// Tables of the combinations of rows, by the method of the four Russians
// (as M4RI tabulates them): the rows are taken k at a time, and for each
// group every combination c_0 r_0 + c_1 r_1 + ... + c_(k-1) r_(k-1) (mod 3)
// of its rows is kept once, entry c_0 + 3 c_1 + ... + 3^(k-1) c_(k-1). A
// combination of all rows then costs one entry per group instead of one row
// per term. The one table type of the system: byte rows, bit-sliced rows and
// the nibble lanes of batch encryption are its entries.
//
// Entries are filled in order of v: entry v is entry v - 3^p plus row p, p
// the position of the lowest non-zero base-3 digit of v (entry 0 is zero).
//
// What an entry holds is given by the Entry type:
//   using Unit = ...;   // the storage of an entry: `units` of them
//   using Row = ...;    // how one row is handed over
//   static void add(Unit* entry, const Row& row, std::size_t units);  // entry += row (mod 3)
// or, where one call fills a whole group in that order (entries [0, 3^k);
// rows[0..present) its rows, the others zero),
//   static void fill_group(Unit* entries, std::size_t k, const Row* rows, std::size_t present, std::size_t units);
#pragma once

#include <algorithm>
#include <cstddef>

#include "runtime/secure_wipe.h"

namespace gf3mq {

// The position of the lowest non-zero base-3 digit of v > 0, and 3^p.
constexpr std::size_t lowest_nonzero_trit(std::size_t v) {
  std::size_t p = 0;
  for (; v % 3 == 0; v /= 3) ++p;
  return p;
}
constexpr std::size_t power_of_three(std::size_t p) { return p == 0 ? 1 : 3 * power_of_three(p - 1); }

template <class Entry>
class CombinationTables {
 public:
  using Unit = typename Entry::Unit;

  // Tabulates n rows, k to a group (the last group may have fewer; its
  // missing rows count as zero), each entry `units` units wide; row_of(i)
  // hands over row i. k is at most 6.
  template <class RowOf>
  void assign(std::size_t n, std::size_t k, std::size_t units, RowOf row_of) {
    per_group_ = power_of_three(k);
    units_ = units;
    groups_ = (n + k - 1) / k;
    entries_.assign(groups_ * per_group_ * units_, Unit{});
    for (std::size_t g = 0; g < groups_; ++g) {
      if constexpr (requires(Unit * u, const typename Entry::Row* r) { Entry::fill_group(u, k, r, k, units); }) {
        typename Entry::Row rows[kMaxRows];
        const std::size_t present = std::min(k, n - g * k);
        for (std::size_t p = 0; p < present; ++p) rows[p] = row_of(g * k + p);
        Entry::fill_group(writable(g, 0), k, rows, present, units_);
      } else {
        for (std::size_t v = 1; v < per_group_; ++v) {
          const std::size_t p = lowest_nonzero_trit(v), row = g * k + p;
          Unit* out = writable(g, v);
          std::copy_n(writable(g, v - power_of_three(p)), units_, out);
          if (row < n) Entry::add(out, row_of(row), units_);
        }
      }
    }
  }

  static constexpr std::size_t kMaxRows = 6;  // k at most

  std::size_t groups() const { return groups_; }
  std::size_t units() const { return units_; }
  // Entry `index` of group g: the combination with the base-3 digits of index.
  const Unit* entry(std::size_t g, std::size_t index) const {
    return entries_.data() + (g * per_group_ + index) * units_;
  }

 private:
  Unit* writable(std::size_t g, std::size_t index) { return entries_.data() + (g * per_group_ + index) * units_; }

  std::size_t per_group_ = 1, units_ = 0, groups_ = 0;
  SecretVector<Unit> entries_;  // combinations of secret rows, as a rule
};

}  // namespace gf3mq
