// The packed GF(3) matrices: the bit-sliced row kernels against their
// definitions at every kernel width, elimination against a plain
// element-by-element one, kernels and solutions by property, singular
// systems built on purpose, and products against the definition.
#include "linalg/packed_matrix.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>

#include "linalg/packed_echelon.h"
#include "linalg/packed_product.h"
#include "linalg/packed_rows.h"
#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;
using gf3mq::PackedMatrix;

// The bit-sliced row kernels, once at each kernel width.
using PackedRowsAtWidthTest = KernelWidthTest;
GF3MQ_AT_EVERY_KERNEL_WIDTH(PackedRowsAtWidthTest);

// The rank by plain Gaussian elimination on bytes.
std::size_t plain_rank(const PackedMatrix& m) {
  std::vector<std::vector<int>> a(m.rows(), std::vector<int>(m.cols()));
  for (std::size_t r = 0; r < m.rows(); ++r)
    for (std::size_t c = 0; c < m.cols(); ++c) a[r][c] = m.get(r, c);
  std::size_t rank = 0;
  for (std::size_t c = 0; c < m.cols() && rank < m.rows(); ++c) {
    std::size_t p = rank;
    while (p < m.rows() && a[p][c] == 0) ++p;
    if (p == m.rows()) continue;
    std::swap(a[p], a[rank]);
    for (std::size_t r = rank + 1; r < m.rows(); ++r) {
      const int f = a[r][c] * a[rank][c] % 3;  // pivot^-1 = pivot
      for (std::size_t k = c; k < m.cols(); ++k) a[r][k] = (a[r][k] + 3 * 3 - f * a[rank][k]) % 3;
    }
    ++rank;
  }
  return rank;
}

// Whether m x = 0 for every row x of k.
bool annihilates(const PackedMatrix& m, const PackedMatrix& k) {
  for (std::size_t i = 0; i < k.rows(); ++i)
    for (std::size_t r = 0; r < m.rows(); ++r)
      if (gf3mq::packed_dot(m.ones(r), m.twos(r), k.ones(i), k.twos(i), m.words()) != 0) return false;
  return true;
}

TEST_P(PackedRowsAtWidthTest, KernelsMatchTheirDefinitions) {
  std::mt19937 rng(71);
  for (std::size_t words : {1u, 3u, 4u, 5u, 97u}) {
    const PackedMatrix x = random_packed(rng, 3, 64 * words);
    for (unsigned k = 0; k < 3; ++k) {
      PackedMatrix sum = x;
      sum.add_row_multiple(0, 1, k);
      for (std::size_t c = 0; c < x.cols(); ++c) ASSERT_EQ(sum.get(0, c), (x.get(0, c) + k * x.get(1, c)) % 3) << c;
    }
    unsigned dot = 0;
    for (std::size_t c = 0; c < x.cols(); ++c) dot += x.get(0, c) * x.get(2, c);
    EXPECT_EQ(gf3mq::packed_dot(x.ones(0), x.twos(0), x.ones(2), x.twos(2), words), dot % 3);
  }
}

TEST(PackedMatrixTest, EchelonFormsAreTheSameOnAnyNumberOfThreads) {
  std::mt19937 rng(73);
  // Full rank, and rank short of the rows and columns by rows built from
  // others (zero rows to be left at the bottom), past 512 rows per thread.
  for (const auto& [rows, cols, rank] :
       std::vector<std::array<std::size_t, 3>>{{1100, 1000, 1000}, {2100, 2050, 1900}, {1600, 2300, 1500}}) {
    const PackedMatrix m = gf3mq::multiply(random_packed(rng, rows, rank), random_packed(rng, rank, cols));
    PackedMatrix one = m;
    const std::vector<std::size_t> pivots = gf3mq::reduce_to_echelon(one, {}, 1);
    EXPECT_EQ(pivots.size(), rank);
    for (unsigned threads : {2u, 3u, 0u}) {
      PackedMatrix e = m;
      EXPECT_EQ(gf3mq::reduce_to_echelon(e, {}, threads), pivots) << threads;
      for (std::size_t r = 0; r < rows; ++r)
        ASSERT_TRUE(std::equal(e.ones(r), e.ones(r) + 2 * e.words(), one.ones(r))) << threads << " threads, row " << r;
    }
  }
}

TEST(PackedMatrixTest, KernelsFromTheRowEchelonFormAreThoseFromTheReducedForm) {
  std::mt19937 rng(74);
  // Full rank; rank short of rows and columns; free columns among the pivots
  // (kind 1: every seventh column a copy of the one before, so that blocks of
  // pivot columns are not side by side; kind 2: the first column zero, so
  // that runs of 64 pivots start inside a word); past 96 pivot rows a block,
  // 512 rows a thread and 4096 rows (panels of 48, kernel_basis's switch).
  for (const auto& [rows, cols, rank, kind] : std::vector<std::array<std::size_t, 4>>{{200, 150, 150, 0},
                                                                                      {300, 400, 250, 2},
                                                                                      {700, 1300, 600, 0},
                                                                                      {1100, 1000, 1000, 1},
                                                                                      {1500, 1400, 1300, 1},
                                                                                      {4200, 4300, 4100, 1}}) {
    PackedMatrix m = gf3mq::multiply(random_packed(rng, rows, rank), random_packed(rng, rank, cols));
    for (std::size_t r = 0; r < rows; ++r) {
      for (std::size_t c = 6; kind == 1 && c < cols; c += 7) m.set(r, c, m.get(r, c - 1));
      if (kind == 2) m.set(r, 0, 0);
    }
    PackedMatrix reduced = m;
    const std::vector<std::size_t> pivots = gf3mq::reduce_to_echelon(reduced);
    const PackedMatrix kernel = gf3mq::kernel_of_echelon(reduced, pivots);
    // The kernel by its properties: one row per free column, m k = 0, independent.
    ASSERT_EQ(kernel.rows(), cols - pivots.size());
    EXPECT_TRUE(annihilates(m, kernel)) << rows << "x" << cols;
    if (rows < 2000) {
      EXPECT_EQ(plain_rank(kernel), kernel.rows());
    }
    const std::string shape = std::to_string(rows) + "x" + std::to_string(cols);
    const auto same_kernel = [&](const PackedMatrix& k, const char* how, unsigned threads) {
      ASSERT_EQ(k.rows(), kernel.rows());
      for (std::size_t r = 0; r < k.rows(); ++r)
        ASSERT_TRUE(std::equal(k.ones(r), k.ones(r) + 2 * k.words(), kernel.ones(r)))
            << shape << " " << how << " on " << threads << " threads, kernel row " << r;
    };
    for (unsigned threads : {1u, 2u, 3u}) {
      PackedMatrix e = m;
      ASSERT_EQ(gf3mq::reduce_to_row_echelon(e, {}, threads), pivots) << rows << "x" << cols;
      for (std::size_t r = pivots.size(); r < rows; ++r)
        ASSERT_TRUE(std::all_of(e.ones(r), e.ones(r) + 2 * e.words(), [](std::uint64_t w) { return w == 0; })) << r;
      same_kernel(gf3mq::kernel_of_row_echelon(e, pivots, threads), "by substitution", threads);
    }
    if (rows >= gf3mq::kRowEchelonFromRows) same_kernel(gf3mq::kernel_basis(m, {}, 2), "by kernel_basis", 2);
  }
}

TEST(PackedMatrixTest, EchelonFormRankAndKernelAgreeWithPlainElimination) {
  std::mt19937 rng(72);
  // Shapes on both sides of every block size, wide and tall; rows wider
  // than the 4096 columns cleared at a time.
  const std::vector<std::pair<std::size_t, std::size_t>> shapes = {{1, 1},     {5, 9},     {40, 30},     {129, 200},
                                                                   {320, 300}, {500, 700}, {2100, 2050}, {4200, 4300}};
  for (const auto& [rows, cols] : shapes) {
    const PackedMatrix m = random_packed(rng, rows, cols);
    PackedMatrix e = m;
    const std::vector<std::size_t> pivots = gf3mq::reduce_to_echelon(e);
    if (rows * cols * std::min(rows, cols) < 100'000'000) {
      EXPECT_EQ(pivots.size(), plain_rank(m)) << rows << "x" << cols;
    }
    // Every row of m is rebuilt from the pivot rows with its own entries at
    // the pivot columns: the echelon rows span m's rows.
    PackedMatrix coefficients(rows, pivots.size()), pivot_rows(pivots.size(), cols);
    for (std::size_t r = 0; r < rows; ++r)
      for (std::size_t i = 0; i < pivots.size(); ++i) coefficients.set(r, i, m.get(r, pivots[i]));
    for (std::size_t i = 0; i < pivots.size(); ++i) std::copy_n(e.ones(i), 2 * e.words(), pivot_rows.ones(i));
    const PackedMatrix rebuilt = gf3mq::multiply(coefficients, pivot_rows);
    for (std::size_t r = 0; r < rows; ++r)
      ASSERT_TRUE(std::equal(m.ones(r), m.ones(r) + 2 * m.words(), rebuilt.ones(r)))
          << rows << "x" << cols << " row " << r;
    for (std::size_t i = 0; i < pivots.size(); ++i) {
      if (i > 0) {
        ASSERT_LT(pivots[i - 1], pivots[i]);
      }
      for (std::size_t r = 0; r < rows; ++r) ASSERT_EQ(e.get(r, pivots[i]), r == i ? 1 : 0) << rows << " pivot " << i;
      for (std::size_t c = 0; c < pivots[i]; ++c) ASSERT_EQ(e.get(i, c), 0);  // nothing left of a pivot
    }
    for (std::size_t r = pivots.size(); r < rows; ++r)
      for (std::size_t w = 0; w < e.words(); ++w) ASSERT_EQ(e.ones(r)[w] | e.twos(r)[w], 0u);
    const PackedMatrix k = gf3mq::kernel_of_echelon(e, pivots);
    EXPECT_EQ(k.rows(), cols - pivots.size());
    EXPECT_TRUE(annihilates(m, k)) << rows << "x" << cols;
    EXPECT_EQ(plain_rank(k), k.rows());
  }
}

TEST(PackedMatrixTest, SingularSystemsBuiltOnPurpose) {
  std::mt19937 rng(73);
  // 300 rows, each a combination of the same 180 random ones: rank 180.
  const PackedMatrix basis = random_packed(rng, 180, 400), mix = random_packed(rng, 300, 180);
  const PackedMatrix m = gf3mq::multiply(mix, basis);
  const PackedMatrix k = gf3mq::kernel_basis(m);
  EXPECT_EQ(k.rows(), 400u - 180u);
  EXPECT_TRUE(annihilates(m, k));
  EXPECT_TRUE(annihilates(basis, k));
  EXPECT_EQ(gf3mq::kernel_basis(PackedMatrix(7, 5)).rows(), 5u);  // the zero matrix
}

TEST(PackedMatrixTest, SolveFindsEverySolutionOrSaysThereIsNone) {
  std::mt19937 rng(74);
  for (std::size_t n : {10u, 257u, 700u}) {
    // Drawn one after the other: the order of a call's arguments differs
    // between compilers.
    const PackedMatrix left = random_packed(rng, n, n - 2);
    const PackedMatrix m = gf3mq::multiply(left, random_packed(rng, n - 2, n));
    std::vector<std::uint8_t> x0(n), b(n), x;
    for (auto& v : x0) v = static_cast<std::uint8_t>(rng() % 3);
    for (std::size_t r = 0; r < n; ++r) {
      unsigned s = 0;
      for (std::size_t c = 0; c < n; ++c) s += m.get(r, c) * x0[c];
      b[r] = static_cast<std::uint8_t>(s % 3);
    }
    PackedMatrix kernel;
    ASSERT_TRUE(gf3mq::solve(m, b, x, &kernel)) << n;
    EXPECT_EQ(kernel.rows(), n - plain_rank(m));
    EXPECT_TRUE(annihilates(m, kernel));
    for (std::size_t r = 0; r < n; ++r) {
      unsigned s = 0;
      for (std::size_t c = 0; c < n; ++c) s += m.get(r, c) * x[c];
      ASSERT_EQ(s % 3, b[r]) << n << " row " << r;
    }
    // A b outside the image has no solution. A random b lies in the image of
    // this matrix of rank n - 2 or less with probability 1/9 or more, so b is
    // drawn, then moved off the image: y m = 0 for a row y of the kernel of
    // left^T, and y b != 0 puts b outside.
    PackedMatrix left_t(n - 2, n);
    for (std::size_t r = 0; r < n; ++r)
      for (std::size_t c = 0; c < n - 2; ++c) left_t.set(c, r, left.get(r, c));
    const PackedMatrix y = gf3mq::kernel_basis(left_t);
    ASSERT_GE(y.rows(), 2u);
    std::vector<std::uint8_t> other(n);
    for (auto& v : other) v = static_cast<std::uint8_t>(rng() % 3);
    unsigned y_other = 0;
    for (std::size_t c = 0; c < n; ++c) y_other += y.get(0, c) * other[c];
    if (y_other % 3 == 0) {
      std::size_t c = 0;
      while (y.get(0, c) == 0) ++c;
      other[c] = static_cast<std::uint8_t>((other[c] + 1) % 3);  // y b changes by y_c, not 0
    }
    EXPECT_FALSE(gf3mq::solve(m, other, x)) << n;
  }
}

TEST(PackedMatrixTest, ProductsMatchTheDefinitionAndInvertibleMatricesInvert) {
  std::mt19937 rng(75);
  const PackedMatrix a = random_packed(rng, 37, 70), b = random_packed(rng, 70, 130);
  const PackedMatrix ab = gf3mq::multiply(a, b);
  for (std::size_t r = 0; r < a.rows(); ++r)
    for (std::size_t c = 0; c < b.cols(); ++c) {
      unsigned s = 0;
      for (std::size_t k = 0; k < a.cols(); ++k) s += a.get(r, k) * b.get(k, c);
      ASSERT_EQ(ab.get(r, c), s % 3);
    }
  // A^-1 from the echelon form of [A | I]; A A^-1 = I.
  const std::size_t n = 257;
  PackedMatrix m, augmented(n, 2 * n);
  do m = random_packed(rng, n, n);
  while (plain_rank(m) < n);
  for (std::size_t r = 0; r < n; ++r) {
    for (std::size_t c = 0; c < n; ++c) augmented.set(r, c, m.get(r, c));
    augmented.set(r, n + r, 1);
  }
  ASSERT_EQ(gf3mq::reduce_to_echelon(augmented).size(), n);
  PackedMatrix inverse(n, n);
  for (std::size_t r = 0; r < n; ++r)
    for (std::size_t c = 0; c < n; ++c) inverse.set(r, c, augmented.get(r, n + c));
  const PackedMatrix identity = gf3mq::multiply(m, inverse);
  for (std::size_t r = 0; r < n; ++r)
    for (std::size_t c = 0; c < n; ++c) ASSERT_EQ(identity.get(r, c), r == c ? 1 : 0);
}

}  // namespace
