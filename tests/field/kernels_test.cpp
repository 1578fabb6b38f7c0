// The fast kernels against plain element-by-element definitions, on random
// inputs: row combinations, tabulated combinations, polynomial products and
// both reduction routes of the field.
#include <gtest/gtest.h>

#include <random>

#include "field/field_reducer.h"
#include "field/poly_mul.h"
#include "linalg/gf3_rows.h"
#include "linalg/row_combination_tables.h"
#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

// The widest g the sparse way takes (16 terms up to x^128, every factor 2),
// and one term more.
constexpr const char* kPolySixteenTerms =
    "x^257 + x^128 + x^120 + x^111 + x^100 + x^90 + x^77 + x^64 + x^63 + x^50 + x^41 + x^33 + x^20 + x^8 + x^3 + "
    "x + 1";
constexpr const char* kPolySeventeenTerms =
    "x^257 + x^128 + x^120 + x^111 + x^100 + x^90 + x^77 + x^64 + x^63 + x^50 + x^41 + x^33 + x^20 + x^8 + x^3 + "
    "x^2 + x + 1";

std::vector<std::uint8_t> elements(std::mt19937& rng, std::size_t n) { return random_elements(rng, n); }

// The kernels, once at each kernel width.
using RowKernelAtWidthTest = KernelWidthTest;
GF3MQ_AT_EVERY_KERNEL_WIDTH(RowKernelAtWidthTest);
using SparseKernelAtWidthTest = KernelWidthTest;
GF3MQ_AT_EVERY_KERNEL_WIDTH(SparseKernelAtWidthTest);

// The fixture itself: the kernels run at the instance's width, and the
// widest is back in use after it.
TEST_P(RowKernelAtWidthTest, RunsAtItsWidthAndLeavesTheWidestInUse) {
  EXPECT_EQ(gf3mq::kernel_width(), width());
  TearDown();
  EXPECT_EQ(gf3mq::kernel_width(), gf3mq::available_kernel_widths().back());
}

TEST_P(RowKernelAtWidthTest, ElementwiseKernelsMatchTheDefinitions) {
  std::mt19937 rng(1);
  for (std::size_t n : {1u, 31u, 32u, 33u, 257u, 1000u}) {
    const auto a = elements(rng, n), b = elements(rng, n);
    std::vector<std::uint8_t> sum = a, difference = a, scaled(n), any(n);
    gf3mq::add_row(sum.data(), b.data(), n);
    gf3mq::sub_row(difference.data(), b.data(), n);
    gf3mq::scale_row(scaled.data(), b.data(), 2, n);
    // Every byte value where there is room for all of them.
    for (std::size_t i = 0; i < n; ++i) any[i] = static_cast<std::uint8_t>(n >= 256 && i < 256 ? i : rng());
    std::vector<std::uint8_t> reduced = any;
    gf3mq::reduce_row(reduced.data(), n);
    std::uint32_t dot = 0;
    for (std::size_t i = 0; i < n; ++i) {
      ASSERT_EQ(sum[i], (a[i] + b[i]) % 3);
      ASSERT_EQ(difference[i], (a[i] + 3 - b[i]) % 3);
      ASSERT_EQ(scaled[i], 2 * b[i] % 3);
      ASSERT_EQ(reduced[i], any[i] % 3);
      dot += static_cast<std::uint32_t>(any[i]) * a[i];
    }
    EXPECT_EQ(gf3mq::dot_row(any.data(), a.data(), n), dot);
  }
}

TEST_P(RowKernelAtWidthTest, CombinationsMatchTermByTermSums) {
  std::mt19937 rng(2);
  for (std::size_t terms : {0u, 1u, 85u, 86u, 257u, 400u}) {
    const std::size_t columns = 258, stride = gf3mq::kPaddedRow;
    std::vector<std::uint8_t> rows(std::max<std::size_t>(terms, 1) * stride, 0), doubled(rows.size(), 0);
    for (std::size_t j = 0; j < terms; ++j)
      for (std::size_t c = 0; c < columns; ++c) {
        rows[j * stride + c] = static_cast<std::uint8_t>(rng() % 3);
        doubled[j * stride + c] = static_cast<std::uint8_t>(2 * rows[j * stride + c] % 3);
      }
    const auto coeffs = elements(rng, std::max<std::size_t>(terms, 1));
    std::vector<int> expected(columns, 0);
    for (std::size_t j = 0; j < terms; ++j)
      for (std::size_t c = 0; c < columns; ++c) expected[c] = (expected[c] + coeffs[j] * rows[j * stride + c]) % 3;

    std::vector<std::uint8_t> out(stride, 9);
    gf3mq::combine_rows(out.data(), coeffs.data(), 1, rows.data(), doubled.data(), terms, stride, columns);
    for (std::size_t c = 0; c < columns; ++c) ASSERT_EQ(out[c], expected[c]) << terms << " " << c;

    gf3mq::RowCombinationTables tables;
    tables.assign(rows.data(), terms, stride, columns);
    std::vector<std::uint8_t> base = elements(rng, stride), combined(stride);
    tables.combine(combined.data(), coeffs.data(), base.data());
    for (std::size_t c = 0; c < columns; ++c) ASSERT_EQ(combined[c], (expected[c] + base[c]) % 3) << terms << " " << c;

    std::vector<const std::uint8_t*> once, twice;
    for (std::size_t j = 0; j < terms; ++j) {
      if (coeffs[j] == 1) once.push_back(&rows[j * stride]);
      if (coeffs[j] == 2) twice.push_back(&rows[j * stride]);
    }
    for (std::size_t vectors : {9u, 10u, 18u}) {
      std::vector<std::uint8_t> wide_base(32 * vectors, 0), sum(32 * vectors);
      std::copy_n(base.begin(), columns, wide_base.begin());
      if (32 * vectors > stride) continue;  // rows are only kPaddedRow long
      gf3mq::add_row_combination(sum.data(), wide_base.data(), once.data(), once.size(), twice.data(), twice.size(),
                                 vectors);
      for (std::size_t c = 0; c < columns; ++c) ASSERT_EQ(sum[c], (expected[c] + base[c]) % 3) << vectors << " " << c;
    }
  }
}

TEST_P(RowKernelAtWidthTest, PolynomialProductMatchesSchoolbook) {
  std::mt19937 rng(3);
  for (std::size_t length : {1u, 2u, 4u, 5u, 63u, 64u, 65u, 200u, 256u, 257u}) {
    for (int trial = 0; trial < 5; ++trial) {
      std::vector<std::uint8_t> a(length), b(length);
      for (auto& v : a) v = static_cast<std::uint8_t>(trial == 4 ? rng() : rng() % 3);  // any bytes count mod 3
      for (auto& v : b) v = static_cast<std::uint8_t>(trial == 4 ? rng() : rng() % 3);
      std::vector<int> expected(gf3mq::kPolyProductBytes, 0);
      for (std::size_t i = 0; i < length; ++i)
        for (std::size_t j = 0; j < length; ++j) expected[i + j] = (expected[i + j] + a[i] % 3 * (b[j] % 3)) % 3;
      std::uint8_t product[gf3mq::kPolyProductBytes];
      gf3mq::poly_mul(a.data(), b.data(), length, product);
      for (std::size_t e = 0; e < 2 * length - 1; ++e) ASSERT_EQ(product[e], expected[e]) << length << " x^" << e;
    }
  }
}

// The field kernels give the same elements at this width as at the widest,
// as on processors without the wider instruction sets.
TEST_P(RowKernelAtWidthTest, NarrowKernelsAgreeWithTheWideOnes) {
  std::mt19937 rng(7);
  const Mat_ZZ_p& table = reduction_table_of(kPolyB);
  for (int trial = 0; trial < 10; ++trial) {
    const FieldElem a = random_field_element(rng), b = random_field_element(rng);
    FieldElem wide_product, wide_cube;
    at_widest_width([&] {
      field_mul(a, b, table, wide_product);
      gf3mq::TabulatedReducer(table, 257).cube(a.coef, wide_cube.coef);
    });
    FieldElem product, cube;
    field_mul(a, b, table, product);
    gf3mq::TabulatedReducer(table, 257).cube(a.coef, cube.coef);
    ASSERT_EQ(product, wide_product);
    ASSERT_EQ(cube, wide_cube);
  }
}

class ReducerRouteTest : public testing::TestWithParam<const char*> {};

// Products and cubes of every reducer against those of the table's rows one
// by one (RowReducer, as field_cube).
void expect_rows_results(const gf3mq::FieldReducer& reducer, const Mat_ZZ_p& table, std::uint32_t seed) {
  std::mt19937 rng(seed);
  for (int trial = 0; trial < 10; ++trial) {
    const FieldElem a = random_field_element(rng), b = random_field_element(rng);
    FieldElem expected, got;
    gf3mq::RowReducer(table).product(a.coef, b.coef, expected.coef);
    reducer.product(a.coef, b.coef, got.coef);
    ASSERT_EQ(got, expected);
    field_cube(a, table, expected);
    reducer.cube(a.coef, got.coef);
    ASSERT_EQ(got, expected);
  }
}

TEST_P(ReducerRouteTest, EveryWayGivesTheTableRowResults) {
  const Mat_ZZ_p& table = reduction_table_of(GetParam());
  const std::optional<gf3mq::SparseForm> g = gf3mq::sparse_form_of(table, 257);
  EXPECT_EQ(g.has_value(), std::string(GetParam()) != kPolyDense);
  if (g) {
    EXPECT_EQ(g->terms, 2);  // x^257 = 2 + x^k: both trinomials
    expect_rows_results(gf3mq::SparseReducer(*g, 257), table, 4);
  }
  expect_rows_results(gf3mq::TabulatedReducer(table, 257), table, 4);
  expect_rows_results(*gf3mq::make_reducer(table, 257), table, 4);
  std::mt19937 rng(5);
  for (int trial = 0; trial < 10; ++trial) {
    const FieldElem a = random_field_element(rng), b = random_field_element(rng);
    FieldElem expected, got;
    gf3mq::RowReducer(table).product(a.coef, b.coef, expected.coef);
    field_mul(a, b, table, got);
    ASSERT_EQ(got, expected);
  }
}

// field_mul reads g from row 0 alone where it is sparse, and the table's rows
// where it is not: a changed digit in row 100, which products read, shows
// which way it took.
TEST_P(ReducerRouteTest, FieldMulTakesGFromRowZeroWhereItIsSparse) {
  const Mat_ZZ_p& table = reduction_table_of(GetParam());
  Mat_ZZ_p changed = table;
  changed.set(100, 7, static_cast<unsigned char>(changed.get(100, 7) + 1));
  const bool sparse = gf3mq::sparse_form_of(changed.row(0), 257).has_value();
  EXPECT_EQ(sparse, std::string(GetParam()) != kPolyDense);
  std::mt19937 rng(10);
  const FieldElem a = x_power(256);
  FieldElem b = random_field_element(rng);
  b.coef[101] = 1;  // a b has the term x^357, which row 100 replaces
  FieldElem of_table, of_changed, of_changed_rows;
  field_mul(a, b, table, of_table);
  field_mul(a, b, changed, of_changed);
  gf3mq::RowReducer(changed).product(a.coef, b.coef, of_changed_rows.coef);
  EXPECT_NE(of_changed_rows, of_table);
  EXPECT_EQ(of_changed, sparse ? of_table : of_changed_rows);
}

TEST_P(ReducerRouteTest, ATableThatDoesNotFollowFromRowZeroIsUsedAsItIs) {
  // One changed digit in row 400, which cubes read and products do not, in
  // the last row (x^768, which the cube of an element with an x^256 term
  // reads), or in rows 100 and 300: products and cubes must follow the
  // table's own rows, as field_mul and field_cube do; nothing goes the
  // sparse way.
  for (const std::vector<int>& rows : {std::vector<int>{400}, std::vector<int>{511}, std::vector<int>{100, 300}}) {
    Mat_ZZ_p table = reduction_table_of(GetParam());
    for (int r : rows) table.set(r, 7, static_cast<unsigned char>(table.get(r, 7) + 1));
    EXPECT_FALSE(gf3mq::sparse_form_of(table, 257).has_value()) << rows.front();
    const std::unique_ptr<gf3mq::FieldReducer> reducer = gf3mq::make_reducer(table, 257);
    EXPECT_FALSE(reducer->follows_field_arithmetic()) << rows.front();
    expect_rows_results(*reducer, table, 5);
  }
}

TEST_P(ReducerRouteTest, CentralMapRootIsThatOfThePowersAndTheirProduct) {
  // The short chain where the rows follow from row 0, the long way where one
  // digit of row 400 (read by cubes only) is changed.
  Mat_ZZ_p changed = reduction_table_of(GetParam());
  changed.set(400, 7, static_cast<unsigned char>((changed.get(400, 7) + 1) % 3));
  std::mt19937 rng(8);
  for (const Mat_ZZ_p* table : {&reduction_table_of(GetParam()), static_cast<const Mat_ZZ_p*>(&changed)}) {
    for (int trial = 0; trial < 2; ++trial) {
      const FieldElem y = random_field_element(rng);
      FieldElem scratch = y, expected;
      Mat_ZZ_p powers(257, 257);
      frobenius_powers(scratch, *table, powers);
      central_map_inverse(powers, *table, expected);
      EXPECT_EQ(central_map_root(y, *table), expected);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(ThreePolynomials, ReducerRouteTest, testing::Values(kPolyA, kPolyB, kPolyDense));

// The sparse kernels at each width against the table rows one by one: the
// trinomial of the tables, and the widest g they take (16 terms up to x^128,
// every factor 2, so every sum takes its largest value), on random operands
// and on operands of all 2s.
TEST_P(SparseKernelAtWidthTest, SparseProductsAndCubes) {
  for (const std::string& poly : {std::string(kPolyA), std::string(kPolySixteenTerms)}) {
    const Mat_ZZ_p& table = reduction_table_of(poly);
    const std::optional<gf3mq::SparseForm> g = gf3mq::sparse_form_of(table, 257);
    ASSERT_TRUE(g.has_value()) << poly;
    std::mt19937 rng(9);
    FieldElem twos;
    std::fill_n(twos.coef, 257, std::uint8_t{2});
    std::vector<std::pair<FieldElem, FieldElem>> operands = {{twos, twos}};
    for (int trial = 0; trial < 6; ++trial) operands.emplace_back(random_field_element(rng), random_field_element(rng));
    for (const auto& operand : operands) {
      const FieldElem& a = operand.first;  // named, not bound, so that the lambda below may capture it
      const FieldElem& b = operand.second;
      FieldElem product, cube;
      at_widest_width([&] {
        gf3mq::RowReducer(table).product(a.coef, b.coef, product.coef);
        field_cube(a, table, cube);
      });
      FieldElem got;
      gf3mq::SparseReducer(*g, 257).product(a.coef, b.coef, got.coef);
      EXPECT_EQ(got, product) << poly;
      gf3mq::SparseReducer(*g, 257).cube(a.coef, got.coef);
      EXPECT_EQ(got, cube) << poly;
    }
  }
}

// A g of at most 16 terms goes the sparse way, one of 17 does not; products
// and cubes are the table's either way, on random operands and on operands
// of all 2s.
TEST(SparseKernelTest, SixteenTermsAreSparseAndSeventeenAreNot) {
  FieldElem twos;
  std::fill_n(twos.coef, 257, std::uint8_t{2});
  for (const auto& [poly, terms] : {std::pair{kPolySixteenTerms, 16}, std::pair{kPolySeventeenTerms, 17}}) {
    SCOPED_TRACE(poly);
    const Mat_ZZ_p& table = reduction_table_of(poly);
    const std::optional<gf3mq::SparseForm> g = gf3mq::sparse_form_of(table.row(0), 257);
    EXPECT_EQ(g.has_value(), terms <= 16);
    EXPECT_EQ(gf3mq::sparse_form_of(table, 257).has_value(), terms <= 16);
    if (g) {
      ASSERT_EQ(g->terms, terms);
      const int powers[] = {0, 1, 3, 8, 20, 33, 41, 50, 63, 64, 77, 90, 100, 111, 120, 128};
      for (int t = 0; t < g->terms; ++t) {
        EXPECT_EQ(g->power[t], powers[t]) << t;
        EXPECT_EQ(g->factor[t], 2) << t;  // x^257 = -(x^128 + ... + 1)
      }
    }
    const std::unique_ptr<gf3mq::FieldReducer> reducer = gf3mq::make_reducer(table, 257);
    EXPECT_EQ(reducer->follows_field_arithmetic(), terms <= 16);
    std::mt19937 rng(11);
    std::vector<std::pair<FieldElem, FieldElem>> operands = {{twos, twos}};
    for (int trial = 0; trial < 4; ++trial) operands.emplace_back(random_field_element(rng), random_field_element(rng));
    for (const auto& [a, b] : operands) {
      FieldElem expected, got;
      gf3mq::RowReducer(table).product(a.coef, b.coef, expected.coef);
      field_mul(a, b, table, got);
      EXPECT_EQ(got, expected);
      reducer->product(a.coef, b.coef, got.coef);
      EXPECT_EQ(got, expected);
      gf3mq::RowReducer(table).cube(a.coef, expected.coef);
      reducer->cube(a.coef, got.coef);
      EXPECT_EQ(got, expected);
    }
  }
}

TEST(DenseTableTest, CentralMapInverseOnADenseTable) {
  const Mat_ZZ_p& table = reduction_table_of(kPolyDense);
  std::mt19937 rng(6);
  for (int trial = 0; trial < 3; ++trial) {
    const FieldElem Z = random_field_element(rng);
    FieldElem X;
    field_mul(Z, Z, table, X);
    FieldElem y = central_map(X, table);
    Mat_ZZ_p powers(257, 257);
    frobenius_powers(y, table, powers);
    FieldElem root;
    central_map_inverse(powers, table, root);
    EXPECT_EQ(root, X);
  }
}

}  // namespace

namespace {

TEST(SecretWipeTest, WipesBuffersAndFieldElements) {
  unsigned char buffer[300];
  std::fill_n(buffer, 300, static_cast<unsigned char>(7));
  gf3mq::secure_wipe(buffer + 10, 280);
  EXPECT_EQ(buffer[9], 7);
  EXPECT_TRUE(std::all_of(buffer + 10, buffer + 290, [](unsigned char b) { return b == 0; }));
  EXPECT_EQ(buffer[290], 7);
  // A field element wipes itself when it goes out of scope.
  alignas(FieldElem) unsigned char storage[sizeof(FieldElem)];
  std::fill_n(storage, sizeof storage, static_cast<unsigned char>(0xAA));
  auto* element = new (storage) FieldElem;
  std::fill_n(element->coef, 257, static_cast<std::uint8_t>(2));
  element->~FieldElem();
  // Read back through volatile: the object's lifetime is over, its bytes are not.
  const volatile unsigned char* bytes = storage;
  unsigned left = 0;
  for (std::size_t i = 0; i < sizeof storage; ++i) left |= bytes[i];
  EXPECT_EQ(left, 0u);
}

}  // namespace
