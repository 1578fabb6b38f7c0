// Blocked products and transposes of packed GF(3) matrices against their
// definitions, element by element: at every kernel width, across the
// blocks of 512 columns and of 192 rows of b, with rows split between
// threads, and the same product on 1, 2 and 3 threads.
#include "linalg/packed_product.h"

#include <gtest/gtest.h>

#include <array>
#include <random>

#include "linalg/packed_combination_tables.h"
#include "linalg/packed_transpose.h"
#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;
using gf3mq::PackedMatrix;

using PackedProductAtWidthTest = KernelWidthTest;
GF3MQ_AT_EVERY_KERNEL_WIDTH(PackedProductAtWidthTest);

// c + a * b, one element at a time.
PackedMatrix plain_multiply_add(const PackedMatrix& a, const PackedMatrix& b, const PackedMatrix& c) {
  PackedMatrix out(a.rows(), b.cols());
  for (std::size_t r = 0; r < a.rows(); ++r)
    for (std::size_t j = 0; j < b.cols(); ++j) {
      unsigned sum = c.get(r, j);
      for (std::size_t i = 0; i < a.cols(); ++i) sum += a.get(r, i) * b.get(i, j);
      out.set(r, j, sum);
    }
  return out;
}

bool same(const PackedMatrix& x, const PackedMatrix& y) {
  if (x.rows() != y.rows() || x.cols() != y.cols()) return false;
  for (std::size_t r = 0; r < x.rows(); ++r)
    if (!std::equal(x.ones(r), x.ones(r) + 2 * x.words(), y.ones(r))) return false;
  return true;
}

TEST_P(PackedProductAtWidthTest, ProductsAddWhatTheDefinitionGives) {
  std::mt19937 rng(301);
  // m x p times p x q: p past one table of 192 rows (and not a multiple of
  // three), q past one block of 512 columns and within the last word, m from
  // one row to enough rows for a narrow product to split them.
  const std::vector<std::array<std::size_t, 3>> shapes = {
      {1, 1, 1}, {3, 2, 5}, {7, 64, 65}, {40, 385, 70}, {33, 770, 513}, {300, 130, 129}, {65, 200, 1100}};
  for (const auto& [m, p, q] : shapes) {
    const PackedMatrix a = random_packed(rng, m, p), b = random_packed(rng, p, q), c = random_packed(rng, m, q);
    const PackedMatrix expected = plain_multiply_add(a, b, c);
    for (unsigned threads : {1u, 2u, 3u}) {
      PackedMatrix sum = c;
      gf3mq::multiply_add(a, b, sum, threads);
      EXPECT_TRUE(same(sum, expected)) << m << "x" << p << "x" << q << " on " << threads << " threads";
    }
    EXPECT_TRUE(same(gf3mq::multiply(a, b, 2), plain_multiply_add(a, b, PackedMatrix(m, q))));
  }
}

TEST_P(PackedProductAtWidthTest, TableSumsSubtractFromRowsAsTheDefinitionSays) {
  std::mt19937 rng(304);
  // Tables of 7 rows (the last group of one) from word 1 on; rows of 1 to
  // 19 words from there (a last chunk of 3 words, or a whole one).
  const PackedMatrix m = random_packed(rng, 7, 1300);
  for (std::size_t words : {1u, 8u, 16u, 19u}) {
    gf3mq::PackedCombinationTables tables;
    tables.assign(m, 0, 7, 1, words);
    const std::uint8_t indices[3] = {static_cast<std::uint8_t>(rng() % 27), static_cast<std::uint8_t>(rng() % 27),
                                     static_cast<std::uint8_t>(rng() % 3)};
    PackedMatrix row = random_packed(rng, 1, 64 * (words + 2)), expected = row;
    tables.subtract_indexed(row.ones(0) + 1, row.twos(0) + 1, words, indices, 1);
    for (std::size_t c = 64; c < 64 * (words + 1); ++c) {
      unsigned v = 3 * 7 * 2 + expected.get(0, c);
      for (std::size_t i = 0; i < 7; ++i) {
        unsigned digit = indices[i / 3];
        for (std::size_t k = 0; k < i % 3; ++k) digit /= 3;
        v -= digit % 3 * m.get(i, c);
      }
      expected.set(0, c, v);
    }
    EXPECT_TRUE(same(row, expected)) << words << " words";
  }
}

TEST(PackedProductTest, GroupIndicesAreTheElementsInBaseThree) {
  std::mt19937 rng(302);
  // Groups that straddle words (columns 63 to 65, 126 to 128) and a last group cut short.
  const PackedMatrix a = random_packed(rng, 300, 190);
  const std::vector<std::uint8_t> indices = gf3mq::group_indices(a, 2);
  const std::size_t groups = 64;
  ASSERT_EQ(indices.size(), a.rows() * groups);
  for (std::size_t r = 0; r < a.rows(); ++r)
    for (std::size_t g = 0; g < groups; ++g) {
      unsigned expected = 0;
      for (std::size_t i = 0, power = 1; i < 3; ++i, power *= 3)
        if (3 * g + i < a.cols()) expected += static_cast<unsigned>(power * a.get(r, 3 * g + i));
      ASSERT_EQ(indices[r * groups + g], expected) << r << " " << g;
    }
}

TEST(PackedTransposeTest, TransposesAreTheDefinition) {
  std::mt19937 rng(303);
  for (const auto& [rows, cols] :
       std::vector<std::pair<std::size_t, std::size_t>>{{1, 1}, {1, 64}, {64, 1}, {63, 65}, {130, 200}, {257, 234}}) {
    const PackedMatrix m = random_packed(rng, rows, cols), t = gf3mq::transpose(m);
    ASSERT_EQ(t.rows(), cols);
    ASSERT_EQ(t.cols(), rows);
    for (std::size_t r = 0; r < rows; ++r)
      for (std::size_t c = 0; c < cols; ++c) ASSERT_EQ(t.get(c, r), m.get(r, c)) << rows << "x" << cols;
    EXPECT_TRUE(same(gf3mq::transpose(t), m));
  }
  // Columns from a later word on, fewer than there are, and past m's last word as zero.
  const PackedMatrix m = random_packed(rng, 70, 300);
  PackedMatrix part(250, 70);
  gf3mq::transpose_columns(m, 2, part);
  for (std::size_t r = 0; r < part.rows(); ++r)
    for (std::size_t c = 0; c < m.rows(); ++c) ASSERT_EQ(part.get(r, c), 128 + r < 300 ? m.get(c, 128 + r) : 0);
}

}  // namespace
