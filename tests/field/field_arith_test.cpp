// Field arithmetic of GF(3^257): products against a plain schoolbook product,
// cubing, Frobenius powers and the inverse of the central map, for tables of
// two polynomials.
#include <gtest/gtest.h>

#include <random>

#include "field/field_elem.h"
#include "field/field_tables.h"
#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

// a * b by the definition: schoolbook product with per-term reduction, then
// every x^e (e >= 257) replaced by table row e - 257, through checked access.
FieldElem plain_product(const FieldElem& a, const FieldElem& b, const Mat_ZZ_p& table) {
  int scratch[513] = {};
  for (int i = 0; i < 257; ++i)
    for (int j = 0; j < 257; ++j) scratch[i + j] = (scratch[i + j] + a.coef[i] * b.coef[j]) % 3;
  FieldElem out;
  for (int i = 0; i < 257; ++i) out.coef[i] = static_cast<std::uint8_t>(scratch[i]);
  for (int e = 257; e < 513; ++e)
    for (int j = 0; j < 257; ++j)
      out.coef[j] = static_cast<std::uint8_t>((out.coef[j] + scratch[e] * table.get(e - 257, j)) % 3);
  return out;
}

class FieldArithTest : public testing::TestWithParam<const char*> {
 protected:
  const Mat_ZZ_p& table() const { return reduction_table_of(GetParam()); }
};

TEST_P(FieldArithTest, ProductAgreesWithSchoolbookAndIgnoresOldOutput) {
  std::mt19937 rng(21);
  for (int trial = 0; trial < 30; ++trial) {
    const FieldElem a = random_field_element(rng), b = random_field_element(rng);
    FieldElem out = random_field_element(rng);
    EXPECT_EQ(field_mul(a, b, table(), out), 1);
    ASSERT_EQ(out, plain_product(a, b, table()));
  }
  FieldElem a = random_field_element(rng);
  const FieldElem b = random_field_element(rng), expected = plain_product(a, b, table());
  field_mul(a, b, table(), a);  // the output may be an input
  EXPECT_EQ(a, expected);
}

TEST_P(FieldArithTest, ProductsOfPowersOfX) {
  FieldElem out;
  field_mul(x_power(256), x_power(256), table(), out);
  EXPECT_TRUE(std::equal(out.coef, out.coef + 257, table().row(255)));
  field_mul(x_power(100), x_power(156), table(), out);
  EXPECT_EQ(out, x_power(256));
  field_mul(x_power(0), x_power(37), table(), out);
  EXPECT_EQ(out, x_power(37));
}

TEST_P(FieldArithTest, CubingOnBothSidesOfTheReductionThreshold) {
  FieldElem out;
  for (int k : {0, 1, 84, 85}) {
    field_cube(x_power(k), table(), out);
    EXPECT_EQ(out, x_power(3 * k)) << k;
  }
  for (int k : {86, 87, 200, 256}) {
    field_cube(x_power(k), table(), out);
    EXPECT_TRUE(std::equal(out.coef, out.coef + 257, table().row(3 * k - 257))) << k;
  }
  std::mt19937 rng(4);
  const FieldElem y = random_field_element(rng);
  FieldElem cube;
  field_cube(y, table(), cube);
  FieldElem square, expected;
  field_mul(y, y, table(), square);
  field_mul(square, y, table(), expected);
  EXPECT_EQ(cube, expected);
}

TEST_P(FieldArithTest, FrobeniusPowersCycleAfter257Cubes) {
  std::mt19937 rng(5);
  const FieldElem Y = random_field_element(rng);
  FieldElem y = Y;
  Mat_ZZ_p powers(257, 257);
  EXPECT_EQ(frobenius_powers(y, table(), powers), 1);
  for (int c = 0; c < 257; ++c) ASSERT_EQ(powers.get(0, c), 0);
  const FieldElem third = cube_times(Y, 3, table());
  EXPECT_TRUE(std::equal(third.coef, third.coef + 257, powers.row(3)));
  EXPECT_TRUE(std::equal(y.coef, y.coef + 257, powers.row(256)));
  EXPECT_EQ(cube_times(y, 1, table()), Y);  // Y^(3^257) = Y
}

TEST_P(FieldArithTest, ZeroAndOneThroughTheCentralMapInverse) {
  for (int value : {0, 1}) {
    FieldElem y;
    y.coef[0] = static_cast<std::uint8_t>(value);
    const FieldElem Y = y;
    Mat_ZZ_p powers(257, 257);
    frobenius_powers(y, table(), powers);
    for (int i = 1; i < 257; ++i) ASSERT_TRUE(std::equal(Y.coef, Y.coef + 257, powers.row(i))) << i;
    FieldElem out = x_power(9);
    central_map_inverse(powers, table(), out);
    EXPECT_EQ(out, Y);
  }
}

TEST_P(FieldArithTest, CentralMapInverseGivesPlusOrMinusXAndXForSquares) {
  std::mt19937 rng(6);
  int minus = 0;
  for (int trial = 0; trial < 12; ++trial) {
    FieldElem X = random_field_element(rng);
    if (trial % 2 == 1) {
      const FieldElem Z = random_field_element(rng);
      field_mul(Z, Z, table(), X);
    }
    FieldElem y = central_map(X, table());
    Mat_ZZ_p powers(257, 257);
    frobenius_powers(y, table(), powers);
    FieldElem root;
    central_map_inverse(powers, table(), root);
    if (trial % 2 == 1) {
      EXPECT_EQ(root, X) << "a square comes back as itself";
    } else {
      FieldElem minus_X, two;  // -X = 2 X
      two.coef[0] = 2;
      field_mul(X, two, table(), minus_X);
      EXPECT_TRUE(root == X || root == minus_X);
      minus += root == minus_X;
    }
  }
  EXPECT_GT(minus, 0);  // non-squares occur among random elements
}

INSTANTIATE_TEST_SUITE_P(TwoPolynomials, FieldArithTest, testing::Values(kPolyA, kPolyB));

TEST(InverseExponentTest, DigitsArePositionsTwoAndThreeModFourThen256) {
  EXPECT_EQ(inverse_exponent_digits[0], 2);
  EXPECT_EQ(inverse_exponent_digits[1], 3);
  EXPECT_EQ(inverse_exponent_digits[2], 6);
  EXPECT_EQ(inverse_exponent_digits[127], 255);
  EXPECT_EQ(inverse_exponent_digits[128], 256);
  for (int j = 0; j < 128; ++j) {
    EXPECT_TRUE(inverse_exponent_digits[j] % 4 == 2 || inverse_exponent_digits[j] % 4 == 3);
    if (j > 0) {
      EXPECT_LT(inverse_exponent_digits[j - 1], inverse_exponent_digits[j]);
    }
  }
}

using FieldArithDeathTest = testing::Test;

TEST(FieldArithDeathTest, SmallTablesEndTheProcess) {
  const FieldElem a = x_power(1);
  FieldElem out;
  EXPECT_EXIT(field_mul(a, a, Mat_ZZ_p(100, 257), out), testing::ExitedWithCode(1), "^Matrix index out of range\\.\n$");
  EXPECT_EXIT(field_cube(a, Mat_ZZ_p(511, 257), out), testing::ExitedWithCode(1), "^Matrix index out of range\\.\n$");
  FieldElem y;
  Mat_ZZ_p small(256, 257);
  EXPECT_EXIT(frobenius_powers(y, reduction_table_of(kPolyA), small), testing::ExitedWithCode(1),
              "^Matrix index out of range\\.\n$");
}

}  // namespace
