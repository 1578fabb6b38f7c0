// nonsingular and inverse: exact small cases, random invertible matrices
// checked column by column, and singular matrices built on purpose.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "linalg/mat_zz_p.h"
#include "tests/test_support.h"

namespace {

using gf3mq::test::mat;
using gf3mq::test::text;

using gf3mq::test::identity;
using gf3mq::test::identity_column;
using gf3mq::test::random_invertible;
using gf3mq::test::random_matrix;

// A random n x n matrix whose row `target` is a combination of two others.
Mat_ZZ_p singular_matrix(std::mt19937& rng, int n, int target) {
  Mat_ZZ_p m = random_matrix(rng, n, n);
  const int a = (target + 1) % n, b = (target + 2) % n;
  for (int c = 0; c < n; ++c) m.set(target, c, static_cast<unsigned char>(2 * m.get(a, c) + m.get(b, c)));
  return m;
}

TEST(NonsingularTest, SmallCases) {
  EXPECT_EQ(nonsingular(mat(1, 1, {2})), 2);
  EXPECT_EQ(nonsingular(mat(1, 1, {0})), 0);
  EXPECT_EQ(nonsingular(mat(2, 2, {1, 2, 2, 1})), 0);
  EXPECT_EQ(nonsingular(mat(2, 2, {1, 1, 0, 2})), 2);
  EXPECT_EQ(nonsingular(identity(3)), 1);
  EXPECT_EQ(nonsingular(2 * identity(3)), 1);
  EXPECT_EQ(nonsingular(mat(3, 3, {1, 0, 2, 2, 0, 1, 1, 0, 1})), 0);  // zero column
  EXPECT_EQ(nonsingular(mat(3, 3, {1, 2, 0, 0, 1, 1, 1, 2, 0})), 0);  // equal rows
}

TEST(NonsingularTest, LeavesArgumentUnchanged) {
  std::mt19937 rng(11);
  const Mat_ZZ_p m = random_matrix(rng, 40, 40);
  const Mat_ZZ_p copy(m);
  nonsingular(m);
  inverse(random_invertible(rng, 5));
  EXPECT_EQ(text(m), text(copy));
}

TEST(NonsingularTest, RejectsSingularMatricesBuiltOnPurpose) {
  std::mt19937 rng(5);
  for (int n : {3, 4, 17, 257})
    for (int target : {0, n / 2, n - 1}) EXPECT_EQ(nonsingular(singular_matrix(rng, n, target)), 0) << n;
}

TEST(InverseTest, ExactSmallInverses) {
  EXPECT_EQ(text(inverse(identity(4))), text(identity(4)));
  EXPECT_EQ(text(inverse(2 * identity(4))), text(2 * identity(4)));
  EXPECT_EQ(text(inverse(mat(2, 2, {0, 1, 1, 0}))), "[[0 1][1 0]]");
  EXPECT_EQ(text(inverse(mat(2, 2, {1, 1, 0, 1}))), "[[1 2][0 1]]");
  EXPECT_EQ(text(inverse(mat(1, 1, {2}))), "[[2]]");
}

TEST(InverseTest, RandomMatricesTimesTheirInverseGiveTheIdentity) {
  std::mt19937 rng(1234);
  for (int n : {3, 10, 64, 257}) {
    const Mat_ZZ_p m = random_invertible(rng, n);
    EXPECT_NE(nonsingular(m), 0);
    const Mat_ZZ_p inv = inverse(m);
    for (int c = 0; c < n; ++c) {
      Vec_ZZ_p column(n);
      for (int r = 0; r < n; ++r) column.set(r, inv.get(r, c));
      const Vec_ZZ_p product = m * column;
      const Vec_ZZ_p expected = identity_column(n, c);
      ASSERT_TRUE(std::equal(product.data(), product.data() + n, expected.data())) << "n=" << n << " column " << c;
    }
  }
}

using InverseDeathTest = testing::Test;

TEST(InverseDeathTest, MisuseEndsTheProcess) {
  EXPECT_EXIT(nonsingular(Mat_ZZ_p(2, 3)), testing::KilledBySignal(SIGABRT), "^nonsquare matrix !\n$");
  EXPECT_EXIT(inverse(Mat_ZZ_p(2, 3)), testing::ExitedWithCode(1), "^bad Matrix inverse\\.\n$");
  EXPECT_EXIT(inverse(mat(3, 3, {1, 2, 0, 0, 1, 1, 1, 2, 0})), testing::ExitedWithCode(1),
              "^Matrix can not inverse\\.\n$");
}

}  // namespace
