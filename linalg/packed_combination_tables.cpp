#include "linalg/packed_combination_tables.h"

#include <algorithm>

#include "runtime/simd_bytes.h"

namespace gf3mq {

namespace {

constexpr std::size_t kEntries = 27;

typedef std::uint64_t Words8 __attribute__((vector_size(64)));

// x + y over GF(3), 512 elements at once (see packed_rows.cpp).
[[gnu::always_inline]] inline void add_to(Words8& x1, Words8& x2, Words8 y1, Words8 y2) {
  const Words8 t = (x1 | y2) ^ (x2 | y1);
  const Words8 z1 = (x2 | y2) ^ t;
  x2 = (x1 | y1) ^ t;
  x1 = z1;
}

[[gnu::always_inline]] inline Words8 plane(const std::uint64_t* p) {
  return simd::load<Words8>(reinterpret_cast<const std::uint8_t*>(p));
}

// The sum of one chunk of 512 elements (words [chunk, chunk + 8) of each
// plane) over the groups: four sums over every fourth group, so that the
// additions do not wait on one another, then added up.
[[gnu::always_inline]] inline void chunk_sum(const std::uint64_t* entries, std::size_t groups, std::size_t plane_words,
                                             std::size_t chunk, const std::uint8_t* indices, std::size_t step,
                                             Words8& ones, Words8& twos) {
  constexpr std::size_t kSums = 4;
  const std::size_t entry_words = 2 * plane_words;
  Words8 sum1[kSums] = {}, sum2[kSums] = {};
  const std::uint64_t* base = entries + chunk;
  std::size_t g = 0;
  for (; g + kSums <= groups; g += kSums) {
    for (std::size_t s = 0; s < kSums; ++s) {
      const std::uint64_t* entry = base + ((g + s) * kEntries + indices[(g + s) * step]) * entry_words;
      add_to(sum1[s], sum2[s], plane(entry), plane(entry + plane_words));
    }
  }
  for (; g < groups; ++g) {
    const std::uint64_t* entry = base + (g * kEntries + indices[g * step]) * entry_words;
    add_to(sum1[0], sum2[0], plane(entry), plane(entry + plane_words));
  }
  add_to(sum1[0], sum2[0], sum1[1], sum2[1]);
  add_to(sum1[2], sum2[2], sum1[3], sum2[3]);
  add_to(sum1[0], sum2[0], sum1[2], sum2[2]);
  ones = sum1[0];
  twos = sum2[0];
}

[[gnu::always_inline]] inline void combine_body(const std::uint64_t* entries, std::size_t groups,
                                                std::size_t plane_words, std::uint64_t* ones, std::uint64_t* twos,
                                                const std::uint8_t* indices, std::size_t step) {
  for (std::size_t chunk = 0; chunk < plane_words; chunk += kChunkWords) {
    Words8 sum1, sum2;
    chunk_sum(entries, groups, plane_words, chunk, indices, step, sum1, sum2);
    simd::store(reinterpret_cast<std::uint8_t*>(ones + chunk), sum1);
    simd::store(reinterpret_cast<std::uint8_t*>(twos + chunk), sum2);
  }
}

// x - y is x + (y2, y1); a last chunk short of 8 words goes through a copy.
[[gnu::always_inline]] inline void subtract_body(const std::uint64_t* entries, std::size_t groups,
                                                 std::size_t plane_words, std::uint64_t* ones, std::uint64_t* twos,
                                                 std::size_t from, std::size_t words, const std::uint8_t* indices,
                                                 std::size_t step) {
  for (std::size_t chunk = from; chunk < words; chunk += kChunkWords) {
    Words8 sum1, sum2;
    chunk_sum(entries, groups, plane_words, chunk, indices, step, sum1, sum2);
    const std::size_t here = std::min(kChunkWords, words - chunk);
    std::uint64_t part1[kChunkWords] = {}, part2[kChunkWords] = {};
    std::uint64_t* x1 = here == kChunkWords ? ones + chunk : part1;
    std::uint64_t* x2 = here == kChunkWords ? twos + chunk : part2;
    if (here < kChunkWords) {
      std::copy_n(ones + chunk, here, part1);
      std::copy_n(twos + chunk, here, part2);
    }
    Words8 row1 = plane(x1), row2 = plane(x2);
    add_to(row1, row2, sum2, sum1);
    simd::store(reinterpret_cast<std::uint8_t*>(x1), row1);
    simd::store(reinterpret_cast<std::uint8_t*>(x2), row2);
    if (here < kChunkWords) {
      std::copy_n(part1, here, ones + chunk);
      std::copy_n(part2, here, twos + chunk);
    }
  }
}

// Words [chunk, chunk + 8) of a plane of `words` words (zero past them).
[[gnu::always_inline]] inline Words8 chunk_of(const std::uint64_t* p, std::size_t words, std::size_t chunk) {
  if (chunk + kChunkWords <= words) return plane(p + chunk);
  std::uint64_t part[kChunkWords] = {};
  if (chunk < words) std::copy(p + chunk, p + words, part);
  return plane(part);
}

// Entry v is entry v - 3^p plus row p, p the lowest non-zero base-3 digit
// of v, summed chunk by chunk as it is copied.
[[gnu::always_inline]] inline void fill_group_body(std::uint64_t* entries, std::size_t k,
                                                   const PackedRowEntry::Row* rows, std::size_t present,
                                                   std::size_t units) {
  const std::size_t half = units / 2;
  std::fill_n(entries, units, std::uint64_t{0});
  for (std::size_t v = 1; v < power_of_three(k); ++v) {
    const std::size_t p = lowest_nonzero_trit(v);
    const std::uint64_t* from = entries + (v - power_of_three(p)) * units;
    std::uint64_t* to = entries + v * units;
    const std::size_t words = p < present ? std::min(rows[p].words, half) : 0;
    for (std::size_t chunk = 0; chunk < half; chunk += kChunkWords) {
      Words8 x1 = plane(from + chunk), x2 = plane(from + half + chunk);
      if (chunk < words) add_to(x1, x2, chunk_of(rows[p].ones, words, chunk), chunk_of(rows[p].twos, words, chunk));
      simd::store(reinterpret_cast<std::uint8_t*>(to + chunk), x1);
      simd::store(reinterpret_cast<std::uint8_t*>(to + half + chunk), x2);
    }
  }
}

GF3MQ_KERNEL_AT_THREE_WIDTHS(void, fill_group,
                             (std::uint64_t * entries, std::size_t k, const PackedRowEntry::Row* rows,
                              std::size_t present, std::size_t units),
                             (entries, k, rows, present, units))

GF3MQ_KERNEL_AT_THREE_WIDTHS(void, subtract,
                             (const std::uint64_t* entries, std::size_t groups, std::size_t plane_words,
                              std::uint64_t* ones, std::uint64_t* twos, std::size_t from, std::size_t words,
                              const std::uint8_t* indices, std::size_t step),
                             (entries, groups, plane_words, ones, twos, from, words, indices, step))

GF3MQ_KERNEL_AT_THREE_WIDTHS(void, combine,
                             (const std::uint64_t* entries, std::size_t groups, std::size_t plane_words,
                              std::uint64_t* ones, std::uint64_t* twos, const std::uint8_t* indices, std::size_t step),
                             (entries, groups, plane_words, ones, twos, indices, step))

}  // namespace

void PackedRowEntry::fill_group(Unit* entries, std::size_t k, const Row* rows, std::size_t present, std::size_t units) {
  gf3mq::fill_group(entries, k, rows, present, units);
}

void PackedCombinationTables::assign(const PackedMatrix& m) {
  plane_words_ = (m.words() + kChunkWords - 1) / kChunkWords * kChunkWords;
  tables_.assign(m.rows(), 3, 2 * plane_words_, [&](std::size_t row) {
    return PackedRowEntry::Row{m.ones(row), m.twos(row), m.words()};
  });
}

void PackedCombinationTables::assign(const PackedMatrix& m, std::size_t first_row, std::size_t count,
                                     std::size_t first_word, std::size_t words) {
  plane_words_ = (words + kChunkWords - 1) / kChunkWords * kChunkWords;
  const std::size_t present = first_word < m.words() ? std::min(words, m.words() - first_word) : 0;
  tables_.assign(count, 3, 2 * plane_words_, [&](std::size_t row) {
    return PackedRowEntry::Row{m.ones(first_row + row) + first_word, m.twos(first_row + row) + first_word, present};
  });
}

void PackedCombinationTables::combine_indexed(std::uint64_t* ones, std::uint64_t* twos, const std::uint8_t* indices,
                                              std::size_t step) const {
  const std::uint64_t* entries = tables_.groups() == 0 ? nullptr : tables_.entry(0, 0);
  combine(entries, groups(), plane_words_, ones, twos, indices, step);
}

void PackedCombinationTables::subtract_indexed(std::uint64_t* ones, std::uint64_t* twos, std::size_t words,
                                               const std::uint8_t* indices, std::size_t step, std::size_t from) const {
  const std::uint64_t* entries = tables_.groups() == 0 ? nullptr : tables_.entry(0, 0);
  subtract(entries, groups(), plane_words_, ones, twos, from, std::min(words, plane_words_), indices, step);
}

}  // namespace gf3mq
