// Mat_ZZ_p: shape, checked access, arithmetic mod 3, products, copies, misuse.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "linalg/mat_zz_p.h"
#include "tests/test_support.h"

namespace {

using gf3mq::test::mat;
using gf3mq::test::text;

TEST(MatrixTest, ShapeZeroFillAndResizeClears) {
  Mat_ZZ_p one(1, 1);
  EXPECT_EQ(text(one), "[[0]]");
  Mat_ZZ_p m = mat(2, 3, {1, 0, 2, 0, 1, 1});
  EXPECT_EQ(m.num_rows(), 2);
  EXPECT_EQ(m.num_cols(), 3);
  m.resize(2, 3);
  EXPECT_EQ(text(m), "[[0 0 0][0 0 0]]");
  m.set(1, 2, 1);
  m.resize(3, 2);
  EXPECT_EQ(text(m), "[[0 0][0 0][0 0]]");
  m.set(2, 1, 2);
  m.clear();
  EXPECT_EQ(text(m), "[[0 0][0 0][0 0]]");
}

TEST(MatrixTest, SetReducesAndLayoutIsRowMajor) {
  Mat_ZZ_p m(2, 3);
  m.set(0, 0, 5);
  m.set(0, 1, 4);
  m.set(0, 2, 255);
  EXPECT_EQ(m.get(0, 0), 2);
  EXPECT_EQ(m.get(0, 1), 1);
  EXPECT_EQ(m.get(0, 2), 0);
  m.set(1, 0, 2);
  EXPECT_EQ(m.data()[3], 2);  // (1, 0) is byte 1 * 3 + 0
  m.set(1, 2, 1);
  EXPECT_EQ(m.get(1, 2), m.data()[5]);
  m.at(1, 1) = 2;
  EXPECT_EQ(m.row(1)[1], 2);
}

TEST(MatrixTest, SumsDifferencesAndScalarMultiples) {
  const Mat_ZZ_p twos = mat(2, 2, {2, 2, 2, 2});
  const Mat_ZZ_p zeros(2, 2);
  EXPECT_EQ(text(twos + twos), "[[1 1][1 1]]");
  EXPECT_EQ(text(zeros - twos), "[[1 1][1 1]]");
  Mat_ZZ_p a = mat(2, 2, {0, 1, 2, 1});
  a += twos;
  EXPECT_EQ(text(a), "[[2 0][1 0]]");
  a -= twos;
  EXPECT_EQ(text(a), "[[0 1][2 1]]");
  const Mat_ZZ_p m = mat(2, 3, {0, 1, 2, 2, 1, 0});
  EXPECT_EQ(text(0 * m), "[[0 0 0][0 0 0]]");
  EXPECT_EQ(text(1 * m), text(m));
  EXPECT_EQ(text(2 * m), "[[0 2 1][1 2 0]]");
  EXPECT_EQ(text(m * 2), "[[0 2 1][1 2 0]]");
  EXPECT_EQ(text(-1 * m), "[[0 2 1][1 2 0]]");
  EXPECT_EQ(text(-5 * m), text(m));  // -5 = 1 (mod 3)
}

TEST(MatrixTest, MatrixTimesColumnVector) {
  const Mat_ZZ_p m = mat(3, 2, {1, 2, 0, 1, 2, 2});
  Vec_ZZ_p v(2);
  v.set(0, 2);
  v.set(1, 1);
  const Vec_ZZ_p y = m * v;
  ASSERT_EQ(y.length(), 3);
  EXPECT_EQ(y[0], (1 * 2 + 2 * 1) % 3);
  EXPECT_EQ(y[1], 1);
  EXPECT_EQ(y[2], (2 * 2 + 2 * 1) % 3);
}

TEST(MatrixTest, ProductKernelAgreesWithElementAccessors) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 20; ++trial) {
    const int rows = 1 + trial * 13 % 40, cols = 1 + trial * 7 % 300;
    const Mat_ZZ_p m = gf3mq::test::random_matrix(rng, rows, cols);
    const Vec_ZZ_p v = gf3mq::test::random_vector(rng, cols);
    const Vec_ZZ_p y = m * v;
    for (int r = 0; r < rows; ++r) {
      int expected = 0;
      for (int c = 0; c < cols; ++c) expected = (expected + m.get(r, c) * v[c]) % 3;
      ASSERT_EQ(y[r], expected);
    }
  }
}

TEST(MatrixTest, CopiesAssignmentAndMoves) {
  Mat_ZZ_p source = mat(2, 2, {1, 2, 0, 1});
  Mat_ZZ_p copy(source);
  copy.set(0, 0, 0);
  EXPECT_EQ(source.get(0, 0), 1);
  std::mt19937 rng(3);
  const Mat_ZZ_p big = gf3mq::test::random_matrix(rng, 257, 258);
  Mat_ZZ_p target(2, 2);
  target = big;
  EXPECT_EQ(target.num_rows(), 257);
  EXPECT_EQ(target.num_cols(), 258);
  EXPECT_TRUE(std::equal(big.data(), big.data() + 257 * 258, target.data()));
  Mat_ZZ_p& alias = source;
  source = alias;
  EXPECT_EQ(text(source), "[[1 2][0 1]]");
  Mat_ZZ_p moved(std::move(source));
  EXPECT_EQ(text(moved), "[[1 2][0 1]]");
  Mat_ZZ_p sum = moved;
  sum += source;  // a matrix without storage adds nothing
  EXPECT_EQ(text(sum), "[[1 2][0 1]]");
}

using MatrixDeathTest = testing::Test;

TEST(MatrixDeathTest, BadSizesExit) {
  EXPECT_EXIT(Mat_ZZ_p(0, 5), testing::ExitedWithCode(1), "^bad Matrix size\\.\n$");
  EXPECT_EXIT(Mat_ZZ_p(5, 0), testing::ExitedWithCode(1), "^bad Matrix size\\.\n$");
  EXPECT_EXIT(Mat_ZZ_p(-1, 3), testing::ExitedWithCode(1), "^bad Matrix size\\.\n$");
  Mat_ZZ_p m(2, 2);
  EXPECT_EXIT(m.resize(0, 2), testing::ExitedWithCode(1), "^bad Matrix resize\\.\n$");
  EXPECT_EXIT(m.resize(2, -1), testing::ExitedWithCode(1), "^bad Matrix resize\\.\n$");
}

TEST(MatrixDeathTest, IndexOutOfRangeExits) {
  Mat_ZZ_p m(2, 3);
  EXPECT_EXIT(m.get(2, 0), testing::ExitedWithCode(1), "^Matrix index out of range\\.\n$");
  EXPECT_EXIT(m.get(0, 3), testing::ExitedWithCode(1), "^Matrix index out of range\\.\n$");
  EXPECT_EXIT(m.get(-1, 0), testing::ExitedWithCode(1), "^Matrix index out of range\\.\n$");
  EXPECT_EXIT(m.set(0, -1, 1), testing::ExitedWithCode(1), "^Matrix index out of range\\.\n$");
  EXPECT_EXIT(m.at(5, 5) = 1, testing::ExitedWithCode(1), "^Matrix index out of range\\.\n$");
  EXPECT_EXIT(m.row(2), testing::ExitedWithCode(1), "^Matrix index out of range\\.\n$");
  EXPECT_EQ(m.get(1, 2), 0);
}

TEST(MatrixDeathTest, ShapeMismatchAbortsBeforeAnyChange) {
  Mat_ZZ_p a(2, 3), b(3, 2);
  EXPECT_EXIT(a += b, testing::KilledBySignal(SIGABRT), "^error matrix add equal due to dim different\xA3\xA1\n$");
  EXPECT_EXIT(a + b, testing::KilledBySignal(SIGABRT), "^error matrix add equal due to dim different\xA3\xA1\n$");
  EXPECT_EXIT(a -= b, testing::KilledBySignal(SIGABRT), "^error matrix sub equal due to dim different\xA3\xA1\n$");
  EXPECT_EXIT(a - b, testing::KilledBySignal(SIGABRT), "^error matrix sub equal due to dim different\xA3\xA1\n$");
  Mat_ZZ_p c(3, 2);
  Vec_ZZ_p v(3);
  EXPECT_EXIT(c * v, testing::ExitedWithCode(1), "^bad multiply Matrix with Vector\\.\n$");
}

}  // namespace
