// Elements as people read them: digit lists and polynomials in x.
#include "learn/element_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using gf3mq::digit_list_text;
using gf3mq::polynomial_text;

TEST(ElementTextTest, PolynomialsHighestPowerFirstWithoutUnitCoefficients) {
  const std::vector<std::uint8_t> a = {2, 1, 0, 0, 2, 0, 1};  // x^6 + 2x^4 + x + 2
  EXPECT_EQ(polynomial_text(a.data(), a.size()), "x^6 + 2x^4 + x + 2");
  const std::vector<std::uint8_t> b = {0, 2, 1};
  EXPECT_EQ(polynomial_text(b.data(), b.size()), "x^2 + 2x");
  const std::vector<std::uint8_t> one = {1, 0, 0};
  EXPECT_EQ(polynomial_text(one.data(), one.size()), "1");
  const std::vector<std::uint8_t> zero = {0, 0, 0, 0, 0};
  EXPECT_EQ(polynomial_text(zero.data(), zero.size()), "0");
  EXPECT_EQ(polynomial_text(a.data(), a.size(), "y"), "y^6 + 2y^4 + y + 2");
  EXPECT_EQ(polynomial_text(b.data(), b.size(), "x", gf3mq::PolynomialForm::gp), "x^2 + 2*x");  // as gp reads it
}

TEST(ElementTextTest, DigitListsInOrderOfPowers) {
  const std::vector<std::uint8_t> a = {2, 1, 0, 0, 2, 0, 1};
  EXPECT_EQ(digit_list_text(a.data(), a.size()), "[2 1 0 0 2 0 1]");
  EXPECT_EQ(digit_list_text(a.data(), 0), "[]");
}

}  // namespace
