#include "linalg/packed_product.h"

#include <algorithm>

#include "linalg/messages.h"
#include "linalg/packed_combination_tables.h"
#include "linalg/packed_rows.h"
#include "runtime/fatal.h"
#include "runtime/huge_pages.h"
#include "runtime/worker_threads.h"

namespace gf3mq {

namespace {

// A table's entries: 27 per group, two planes of a chunk each.
static_assert(kProductTableGroups * 27 * 2 * kChunkWords * sizeof(std::uint64_t) < kLargeBlock,
              "a product's table must stay off the huge pages that large blocks take afresh");

// Rows of a per item when items are rows: few enough for every thread to get some.
constexpr std::size_t kRowsPerIndexItem = 256;

}  // namespace

std::vector<std::uint8_t> group_indices(const PackedMatrix& a, unsigned threads) {
  const std::size_t groups = (a.cols() + 2) / 3;
  std::vector<std::uint8_t> indices(a.rows() * groups);
  for_each_item((a.rows() + kRowsPerIndexItem - 1) / kRowsPerIndexItem, threads, [&](std::size_t item) {
    const std::size_t end = std::min(a.rows(), (item + 1) * kRowsPerIndexItem);
    // 21 groups from the 63 bits of each plane at a time.
    for (std::size_t r = item * kRowsPerIndexItem; r < end; ++r)
      for (std::size_t g0 = 0; g0 < groups; g0 += 21) {
        std::uint64_t ones = bits_from(a.ones(r), a.words(), 3 * g0, 63);
        std::uint64_t twos = bits_from(a.twos(r), a.words(), 3 * g0, 63);
        for (std::size_t g = g0; g < std::min(groups, g0 + 21); ++g, ones >>= 3, twos >>= 3)
          indices[r * groups + g] = static_cast<std::uint8_t>(kTritsOfBits[ones & 7] + 2 * kTritsOfBits[twos & 7]);
      }
  });
  return indices;
}

void multiply_add(const PackedMatrix& a, const PackedMatrix& b, PackedMatrix& c, unsigned threads) {
  if (a.cols() != b.rows() || c.rows() != a.rows() || c.cols() != b.cols()) abort_with_message(msg::bad_matrix_size);
  if (c.words() == 0 || a.rows() == 0) return;  // nothing to add to
  if (threads == 0) threads = worker_threads();
  const std::size_t groups = (a.cols() + 2) / 3;
  const std::vector<std::uint8_t> indices = group_indices(a, threads);
  const std::size_t column_blocks = (c.words() + kChunkWords - 1) / kChunkWords;
  // Narrow products split b's groups too: each part tabulates its own
  // groups once and adds their combinations to a sum of its own (the first
  // to c itself), the sums added to c at the end.
  const std::size_t table_blocks = (groups + kProductTableGroups - 1) / kProductTableGroups;
  const std::size_t wanted = (2 * std::size_t{threads} + column_blocks - 1) / column_blocks;
  const std::size_t parts = std::max<std::size_t>(1, std::min(wanted, table_blocks));
  const std::size_t groups_per_part = (table_blocks + parts - 1) / parts * kProductTableGroups;
  std::vector<PackedMatrix> sums;
  for (std::size_t part = 1; part < parts; ++part) sums.emplace_back(c.rows(), c.cols());
  for_each_item(column_blocks * parts, threads, [&](std::size_t item) {
    const std::size_t first_word = item % column_blocks * kChunkWords,
                      words = std::min(kChunkWords, c.words() - first_word);
    const std::size_t part = item / column_blocks, end_group = std::min(groups, (part + 1) * groups_per_part);
    PackedMatrix& sum_of_part = part == 0 ? c : sums[part - 1];
    PackedCombinationTables table;
    alignas(64) std::uint64_t sum[2 * kChunkWords];
    for (std::size_t g0 = part * groups_per_part; g0 < end_group; g0 += kProductTableGroups) {
      const std::size_t count = std::min(3 * kProductTableGroups, b.rows() - 3 * g0);
      table.assign(b, 3 * g0, count, first_word, kChunkWords);
      for (std::size_t r = 0; r < a.rows(); ++r) {
        table.combine_indexed(sum, sum + kChunkWords, indices.data() + r * groups + g0, 1);
        packed_add(sum_of_part.ones(r) + first_word, sum_of_part.twos(r) + first_word, sum, sum + kChunkWords, words);
      }
    }
  });
  for (const PackedMatrix& s : sums)
    for (std::size_t r = 0; r < c.rows(); ++r) packed_add(c.ones(r), c.twos(r), s.ones(r), s.twos(r), c.words());
}

PackedMatrix multiply(const PackedMatrix& a, const PackedMatrix& b, unsigned threads) {
  PackedMatrix c(a.rows(), b.cols());
  multiply_add(a, b, c, threads);
  return c;
}

}  // namespace gf3mq
