// Vec_ZZ_p: construction, reduction, arithmetic mod 3, copies and misuse.
#include <gtest/gtest.h>

#include <sstream>

#include "linalg/vec_zz_p.h"
#include "tests/test_support.h"

namespace {

using gf3mq::test::text;

Vec_ZZ_p vec(std::initializer_list<int> values) {
  Vec_ZZ_p v(static_cast<int>(values.size()));
  int i = 0;
  for (int x : values) v.set(i++, static_cast<unsigned char>(x));
  return v;
}

TEST(VectorTest, NewVectorIsZeroAndSetReduces) {
  Vec_ZZ_p v(257);
  EXPECT_EQ(v.length(), 257);
  for (int i = 0; i < 257; ++i) EXPECT_EQ(v[i], 0);
  v.set(3, 5);
  v.set(4, 3);
  v.set(5, 255);
  EXPECT_EQ(v[3], 2);
  EXPECT_EQ(v[4], 0);
  EXPECT_EQ(v[5], 0);
}

TEST(VectorTest, SumsAndDifferences) {
  EXPECT_EQ(text(vec({0, 1, 2}) + vec({2, 2, 2})), "[2 0 1]");
  EXPECT_EQ(text(vec({0, 1, 2}) - vec({1, 1, 1})), "[2 0 1]");
  EXPECT_EQ(text(vec({0, 0, 0}) - vec({1, 2, 0})), "[2 1 0]");
  // The operand may be the vector itself (through a reference, which is how
  // such calls come about).
  Vec_ZZ_p a = vec({0, 1, 2});
  const Vec_ZZ_p& same_a = a;
  a += same_a;
  EXPECT_EQ(text(a), "[0 2 1]");
  Vec_ZZ_p b = vec({2, 1, 0});
  const Vec_ZZ_p& same_b = b;
  b -= same_b;
  EXPECT_EQ(text(b), "[0 0 0]");
  const Vec_ZZ_p left = vec({1, 1}), right = vec({1, 2});
  Vec_ZZ_p sum = left + right;
  EXPECT_EQ(text(left), "[1 1]");  // operands unchanged
  EXPECT_EQ(text(right), "[1 2]");
  EXPECT_EQ(text(sum), "[2 0]");
}

TEST(VectorTest, ScalarMultiplesIncludingNegative) {
  const Vec_ZZ_p v = vec({0, 1, 2});
  EXPECT_EQ(text(2 * v), "[0 2 1]");
  EXPECT_EQ(text(v * 2), "[0 2 1]");
  EXPECT_EQ(text(0 * v), "[0 0 0]");
  EXPECT_EQ(text(1 * v), "[0 1 2]");
  EXPECT_EQ(text(4 * v), "[0 1 2]");
  EXPECT_EQ(text(-1 * v), "[0 2 1]");  // -1 acts as 2
  EXPECT_EQ(text(-2 * v), "[0 1 2]");  // -2 acts as 1
  EXPECT_EQ(text(-3 * v), "[0 0 0]");
  EXPECT_EQ((v * 5).length(), 3);
}

TEST(VectorTest, Remainder) {
  const Vec_ZZ_p v = vec({0, 1, 2});
  EXPECT_EQ(text(v % 2), "[0 1 0]");
  EXPECT_EQ(text(v % 1), "[0 0 0]");
  EXPECT_EQ(text(v % 7), "[0 1 2]");
}

TEST(VectorTest, CopiesAreIndependentAndSelfAssignmentKeeps) {
  Vec_ZZ_p a = vec({1, 2, 0});
  Vec_ZZ_p b(a);
  b.set(0, 0);
  EXPECT_EQ(text(a), "[1 2 0]");
  Vec_ZZ_p c(5);
  c = a;
  EXPECT_EQ(c.length(), 3);
  c.set(1, 1);
  EXPECT_EQ(text(a), "[1 2 0]");
  Vec_ZZ_p& alias = a;
  a = alias;
  EXPECT_EQ(text(a), "[1 2 0]");
}

TEST(VectorTest, ConsoleForms) {
  EXPECT_EQ(text(vec({2, 0, 1})), "[2 0 1]");
  EXPECT_EQ(text(vec({2})), "[2]");
  testing::internal::CaptureStdout();
  vec({1, 0}).print();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "[1 0]");
}

using VectorDeathTest = testing::Test;

TEST(VectorDeathTest, BadLengthExits) {
  EXPECT_EXIT(Vec_ZZ_p(0), testing::ExitedWithCode(1), "^bad Vector size\\.\n$");
  EXPECT_EXIT(Vec_ZZ_p(-4), testing::ExitedWithCode(1), "^bad Vector size\\.\n$");
}

TEST(VectorDeathTest, LengthMismatchAborts) {
  Vec_ZZ_p a(257), b(256);
  // The message ends in the GBK full-width exclamation mark.
  EXPECT_EXIT(a += b, testing::KilledBySignal(SIGABRT), "^error vector add equal due to dim different\xA3\xA1\n$");
  EXPECT_EXIT(a + b, testing::KilledBySignal(SIGABRT), "^error vector add equal due to dim different\xA3\xA1\n$");
  EXPECT_EXIT(a -= b, testing::KilledBySignal(SIGABRT), "^error vector sub equal due to dim different\xA3\xA1\n$");
  EXPECT_EXIT(a - b, testing::KilledBySignal(SIGABRT), "^error vector sub equal due to dim different\xA3\xA1\n$");
}

TEST(VectorDeathTest, RemainderBelowOneAndBadIndexExit) {
  Vec_ZZ_p v(3);
  EXPECT_EXIT(v % 0, testing::ExitedWithCode(1), "^bad Vector modulus\\.\n$");
  EXPECT_EXIT(v % -2, testing::ExitedWithCode(1), "^bad Vector modulus\\.\n$");
  EXPECT_EXIT(v[3] = 1, testing::ExitedWithCode(1), "^Vector index out of range\\.\n$");
  EXPECT_EXIT(v.set(-1, 1), testing::ExitedWithCode(1), "^Vector index out of range\\.\n$");
}

}  // namespace
