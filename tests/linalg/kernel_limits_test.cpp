// Every bound on unreduced sums, at its worst case (every term 2, or the
// largest byte a kernel accepts) at the limit and one past it where the code
// splits the work, at every kernel width.
#include <gtest/gtest.h>

#include <random>

#include "field/poly_mul.h"
#include "linalg/gf3_rows.h"
#include "linalg/row_combination_tables.h"
#include "scheme/composition.h"
#include "scheme/encrypt.h"
#include "scheme/key_files.h"
#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

// The tests of the kernels themselves, once at each kernel width.
using KernelLimitAtWidthTest = KernelWidthTest;
GF3MQ_AT_EVERY_KERNEL_WIDTH(KernelLimitAtWidthTest);

TEST_P(KernelLimitAtWidthTest, CombineRowsAcrossItsReductions) {
  const std::size_t limit = static_cast<std::size_t>(gf3mq::kAccumulateLimit);
  const std::size_t columns = 258, stride = gf3mq::kPaddedRow;
  for (std::size_t terms : {limit, limit + 1, 2 * limit, 2 * limit + 1, std::size_t{400}}) {
    // Rows of 2, taken once; or rows of 1 whose doubles (all 2) are taken.
    for (std::uint8_t k : {1, 2}) {
      const std::vector<std::uint8_t> rows(terms * stride, k == 1 ? 2 : 1), doubled(terms * stride, 2);
      const std::vector<std::uint8_t> coeffs(terms, k);
      std::vector<std::uint8_t> out(stride, 9);
      gf3mq::combine_rows(out.data(), coeffs.data(), 1, rows.data(), doubled.data(), terms, stride, columns);
      for (std::size_t c = 0; c < columns; ++c)
        ASSERT_EQ(out[c], 2 * terms % 3) << "terms " << terms << " k " << int(k);
    }
  }
}

TEST_P(KernelLimitAtWidthTest, RegisterHeldCombinationsAcrossTheirReductions) {
  // The 32-byte versions reduce after about 126 rows taken once (2 each) or
  // 84 taken twice (3 - row each, 3 for a row of 0); the 64-byte ones after
  // kCombineTermsPerReduction of either.
  const std::size_t limit = gf3mq::kCombineTermsPerReduction;
  const std::vector<std::size_t> counts = {83, 84, 85, limit - 1, limit, limit + 1, 2 * limit + 1, 300};
  for (std::size_t vectors : {1u, 8u, 9u, 10u, 18u}) {
    const std::size_t bytes = 32 * vectors;
    const std::vector<std::uint8_t> base(bytes, 2), twos(bytes, 2), zeros(bytes, 0);
    for (std::size_t n : counts) {
      const std::vector<const std::uint8_t*> rows_of_two(n, twos.data()), rows_of_zero(n, zeros.data());
      std::vector<std::uint8_t> out(bytes);
      // base + n * 2, then base + 2 * n * 2, then base + 2 * n * 0.
      gf3mq::add_row_combination(out.data(), base.data(), rows_of_two.data(), n, nullptr, 0, vectors);
      for (std::size_t c = 0; c < bytes; ++c) ASSERT_EQ(out[c], (2 + 2 * n) % 3) << vectors << " once " << n;
      gf3mq::add_row_combination(out.data(), base.data(), nullptr, 0, rows_of_two.data(), n, vectors);
      for (std::size_t c = 0; c < bytes; ++c) ASSERT_EQ(out[c], (2 + 4 * n) % 3) << vectors << " twice " << n;
      gf3mq::add_row_combination(out.data(), base.data(), rows_of_two.data(), n, rows_of_zero.data(), n, vectors);
      for (std::size_t c = 0; c < bytes; ++c) ASSERT_EQ(out[c], (2 + 2 * n) % 3) << vectors << " both " << n;
    }
  }
}

TEST_P(KernelLimitAtWidthTest, TabulatedCombinationsOfRowsOfTwo) {
  for (std::size_t n : {256u, 257u}) {  // 86 groups, the last one of one or two rows
    const std::vector<std::uint8_t> rows(n * 258, 2), coeffs(n, 1), base(gf3mq::kPaddedRow, 2);
    gf3mq::RowCombinationTables tables;
    tables.assign(rows.data(), n, 258, 258);
    std::vector<std::uint8_t> out(gf3mq::kPaddedRow);
    tables.combine(out.data(), coeffs.data(), base.data());
    for (std::size_t c = 0; c < 258; ++c) ASSERT_EQ(out[c], (2 + 2 * n) % 3) << n;
  }
}

TEST_P(KernelLimitAtWidthTest, DotProductsOfTheLargestBytesAcrossChunks) {
  const std::size_t chunk = gf3mq::kDotRowMaxTerms;
  std::vector<std::uint8_t> big(2 * chunk + 1, 255);
  EXPECT_EQ(gf3mq::dot_row(big.data(), big.data(), chunk), std::uint32_t{255 * 255} * chunk);
  for (std::size_t n : {chunk, chunk + 1, 2 * chunk + 1}) {
    // Unreduced elements, as at() may leave them: 255 * 255 = 0 (mod 3),
    // 254 * 254 = 1 (mod 3).
    for (std::uint8_t e : {255, 254}) {
      Mat_ZZ_p m(1, static_cast<int>(n));
      Vec_ZZ_p v(static_cast<int>(n));
      std::fill_n(m.data(), n, e);
      std::fill_n(v.data(), n, e);
      EXPECT_EQ((m * v)[0], e * e % 3 * n % 3) << n << " " << int(e);
    }
  }
}

TEST_P(KernelLimitAtWidthTest, PolynomialProductOfAllTwos) {
  for (std::size_t length : {64u, 65u, 257u}) {
    const std::vector<std::uint8_t> a(length, 2);
    std::uint8_t product[gf3mq::kPolyProductBytes];
    gf3mq::poly_mul(a.data(), a.data(), length, product);
    for (std::size_t e = 0; e + 1 < 2 * length; ++e) {
      const std::size_t terms = e < length ? e + 1 : 2 * length - 1 - e;  // 4 each, 1 mod 3
      ASSERT_EQ(product[e], terms % 3) << length << " x^" << e;
    }
  }
}

TEST(KernelLimitTest, SixteenBitSumsOfTheSymbolicPowersAndOutputMap) {
  // Every entry 2: the most each 16-bit sum ever holds.
  Mat_ZZ_p src(257, 258), frobenius(257, 257), M(257, 257);
  std::fill_n(src.data(), 257 * 258, 2);
  std::fill_n(frobenius.data(), 257 * 257, 2);
  std::fill_n(M.data(), 257 * 257, 2);
  Mat_ZZ_p power(257, 258);
  symbolic_pow27(src, frobenius, power);
  for (int p = 0; p < 257; ++p)
    for (int l = 0; l < 258; ++l)
      ASSERT_EQ(power.get(p, l), ((p % 27 == 0 && p <= 243 ? 2 : 0) + 247 * 4) % 3) << p << " " << l;
  const FormList forms(257, [] {
    Mat_ZZ_p form(258, 258);
    std::fill_n(form.data(), 258 * 258, 2);
    return form;
  }());
  const FormList mapped = apply_output_map(M, Vec_ZZ_p(257), forms);
  for (const Mat_ZZ_p& form : {mapped[0], mapped[256]})
    for (int x = 0; x < 258 * 258; ++x) ASSERT_EQ(form.data()[x], 257 * 4 % 3);
}

TEST_P(KernelLimitAtWidthTest, SymbolicProductAccumulatesAcrossItsReductions) {
  // a all 2 and b zero but for row 256 of ones: S_e = a_(e-256)^T b_256 is 2
  // in every entry for e >= 256. A reduction table whose first n rows are
  // ones adds S_257 .. S_(256+n) to every form: n unreduced additions of 2.
  Mat_ZZ_p a(257, 258), b(257, 258);
  std::fill_n(a.data(), 257 * 258, 2);
  std::fill_n(b.row(256), 258, 1);
  const int limit = gf3mq::kAccumulateLimit;
  for (int n : {limit, limit + 1}) {
    Mat_ZZ_p table(512, 257);
    std::fill_n(table.data(), static_cast<std::size_t>(n) * 257, 1);
    FormList out;
    symbolic_product(a, b, table, out);
    for (int r : {0, 255, 256}) {
      const int expected = ((r == 256 ? 2 : 0) + 2 * n) % 3;
      for (int x = 0; x < 258 * 258; ++x) ASSERT_EQ(out[r].data()[x], expected) << "n " << n << " form " << r;
    }
  }
}

TEST(KernelLimitTest, EncryptionOfTheLargestBytes) {
  // The stored forms' bytes count mod 3 whatever their value.
  std::vector<unsigned char> pk(gf3mq::kPublicKeyBytes);
  unsigned char x[257], c[257];
  std::uint64_t clen = 0;
  for (unsigned char e : {2, 254, 255}) {
    std::fill(pk.begin(), pk.end(), e);
    std::fill_n(x, 257, 2);
    ASSERT_EQ(encrypt(pk.data(), x, 257, c, &clen), 0);
    const unsigned expected = (e % 3 * 4 * (257 * 256 / 2) + e % 3 * 2 * 257) % 3;
    for (int i = 0; i < 257; ++i) ASSERT_EQ(c[i], expected) << int(e);
  }
}

}  // namespace
