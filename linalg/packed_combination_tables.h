// Combinations of many packed rows by the method of the four Russians: the
// packed counterpart of RowCombinationTables (row_combination_tables.h).
//
// Rows bit-sliced (packed_rows.h) are taken three at a time; for each group
// all 27 combinations c0 r_3g + c1 r_(3g+1) + c2 r_(3g+2) are tabulated,
// entry c0 + 3 c1 + 9 c2, each as two planes of whole chunks of 8 words
// (512 elements). For rows of 258, an entry is 128 bytes where a byte row
// of 320 would be: a combination of all rows reads 2.5 times less memory,
// and GF(3) sums of bit-sliced words never need reducing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "linalg/combination_tables.h"
#include "linalg/packed_matrix.h"

namespace gf3mq {

inline constexpr std::size_t kChunkWords = 8;  // the words of 512 elements, summed in one vector

// A bit-sliced entry: its plane of ones (units / 2 words), then its plane of
// twos; a row is its two planes of `words` words (at most units / 2).
struct PackedRowEntry {
  using Unit = std::uint64_t;
  struct Row {
    const std::uint64_t* ones;
    const std::uint64_t* twos;
    std::size_t words;
  };
  static void fill_group(Unit* entries, std::size_t k, const Row* rows, std::size_t present, std::size_t units);
};

class PackedCombinationTables {
 public:
  // Tabulates the rows of m.
  void assign(const PackedMatrix& m);

  // Tabulates rows [first_row, first_row + count) of m, words [first_word,
  // first_word + words) of each plane (zero past m's last word).
  void assign(const PackedMatrix& m, std::size_t first_row, std::size_t count, std::size_t first_word,
              std::size_t words);

  // Words per plane of an entry and of a combination: m.words() rounded up
  // to whole chunks (8 for rows of up to 512 elements).
  std::size_t plane_words() const { return plane_words_; }

  // (ones, twos)[0..plane_words()) = sum over groups g of entry (g, indices[g * step]),
  // each index c0 + 3 c1 + 9 c2 in 0..26 (for the last group, of fewer
  // rows, only its rows' digits may be non-zero).
  void combine_indexed(std::uint64_t* ones, std::uint64_t* twos, const std::uint8_t* indices, std::size_t step) const;

  // (ones, twos)[from..words) -= the same sum over those words, words at
  // most plane_words() and from a multiple of kChunkWords: a row of `words`
  // words, read and written once.
  void subtract_indexed(std::uint64_t* ones, std::uint64_t* twos, std::size_t words, const std::uint8_t* indices,
                        std::size_t step, std::size_t from = 0) const;

  std::size_t groups() const { return tables_.groups(); }

 private:
  std::size_t plane_words_ = kChunkWords;
  CombinationTables<PackedRowEntry> tables_;  // 27 entries of plane_words_ words of ones, then of twos, per group
};

}  // namespace gf3mq
