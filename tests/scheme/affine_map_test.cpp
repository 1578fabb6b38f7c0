// Random secret affine maps: invertible, reproducible from a seeded source,
// drawn matrix first and vector after, refused when the source fails; and
// the augmented form [M | v].
#include "scheme/affine_map.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/test_support.h"

namespace {

// Replays a fixed list of elements, then fails: a request the list cannot
// meet whole gets what is left of it first, as from a generator that fails
// in the middle of a draw.
class ListSource : public gf3mq::Gf3Source {
 public:
  explicit ListSource(std::vector<std::uint8_t> values) : values_(std::move(values)) {}
  bool fill(std::uint8_t* out, std::size_t n) override {
    const std::size_t given = std::min(n, values_.size() - used_);
    std::copy_n(values_.begin() + static_cast<std::ptrdiff_t>(used_), given, out);
    used_ += given;
    return given == n;
  }
  std::string error() const override { return "list exhausted"; }

 private:
  std::vector<std::uint8_t> values_;
  std::size_t used_ = 0;
};

TEST(AffineMapTest, SeededDrawsAreInvertibleReproducibleAndDistinct) {
  gf3mq::SeededGf3Source first(42), again(42);
  Mat_ZZ_p A(257, 257), B(257, 257), C(257, 257);
  Vec_ZZ_p v1(257), v2(257), v3(257);
  ASSERT_EQ(random_affine_map(A, v1, first), 0);
  ASSERT_EQ(random_affine_map(B, v2, first), 0);
  ASSERT_EQ(random_affine_map(C, v3, again), 0);
  EXPECT_NE(nonsingular(A), 0);
  EXPECT_NE(nonsingular(B), 0);
  EXPECT_TRUE(std::equal(A.data(), A.data() + 257 * 257, C.data()));
  EXPECT_TRUE(std::equal(v1.data(), v1.data() + 257, v3.data()));
  EXPECT_FALSE(std::equal(A.data(), A.data() + 257 * 257, B.data()));  // two maps of one key differ
  EXPECT_FALSE(std::equal(v1.data(), v1.data() + 257, v2.data()));
  EXPECT_TRUE(std::all_of(A.data(), A.data() + 257 * 257, [](std::uint8_t e) { return e < 3; }));
}

TEST(AffineMapTest, RejectedDrawsAreNeverReturnedAndTheVectorFollowsTheMatrix) {
  // 3 x 3: a singular matrix, then an invertible one, then the vector.
  ListSource source({1, 1, 1, 1, 1, 1, 0, 0, 1,  // singular (two equal rows)
                     1, 0, 0, 0, 2, 0, 0, 0, 1,  // invertible
                     2, 1, 0});
  Mat_ZZ_p M(3, 3);
  Vec_ZZ_p v(3);
  ASSERT_EQ(random_affine_map(M, v, source), 0);
  EXPECT_EQ(M.get(1, 1), 2);
  EXPECT_EQ(M.get(0, 1), 0);
  EXPECT_EQ(v[0], 2);
  EXPECT_EQ(v[1], 1);
  EXPECT_EQ(v[2], 0);
}

TEST(AffineMapTest, AFailingSourceStopsTheDraw) {
  // The matrix, then no vector, or only part of it: nothing secret is left
  // behind in either.
  for (const std::vector<std::uint8_t>& vector_part : {std::vector<std::uint8_t>{}, std::vector<std::uint8_t>{2, 1}}) {
    std::vector<std::uint8_t> values = {1, 2, 0, 0, 1, 0, 0, 0, 1};
    values.insert(values.end(), vector_part.begin(), vector_part.end());
    ListSource source(values);
    Mat_ZZ_p M(3, 3);
    Vec_ZZ_p v(3);
    EXPECT_EQ(random_affine_map(M, v, source), -1);
    EXPECT_EQ(gf3mq::test::text(M), "[[0 0 0][0 0 0][0 0 0]]") << vector_part.size();
    EXPECT_EQ(gf3mq::test::text(v), "[0 0 0]") << vector_part.size();
  }
}

TEST(AffineMapTest, SystemSourceIsUniformOverGF3) {
  gf3mq::SystemGf3Source source;
  std::vector<std::uint8_t> values(30000);
  ASSERT_TRUE(source.fill(values.data(), values.size()));
  int counts[3] = {};
  for (std::uint8_t v : values) {
    ASSERT_LT(v, 3);
    ++counts[v];
  }
  for (int c : counts) EXPECT_NEAR(c, 10000, 600);  // about 6 standard deviations
  Mat_ZZ_p M(257, 257);
  Vec_ZZ_p v(257);
  EXPECT_EQ(random_affine_map(M, v), 0);
  EXPECT_NE(nonsingular(M), 0);
}

TEST(AffineMapTest, AugmentedMapIsMatrixThenShift) {
  std::mt19937 rng(2);
  const Vec_ZZ_p v = gf3mq::test::random_vector(rng, 257);
  const Mat_ZZ_p A_X = augment_affine_map(gf3mq::test::identity(257), v);
  ASSERT_EQ(A_X.num_rows(), 257);
  ASSERT_EQ(A_X.num_cols(), 258);
  for (int i = 0; i < 257; ++i) {
    for (int j = 0; j < 257; ++j) ASSERT_EQ(A_X.get(i, j), i == j ? 1 : 0);
    ASSERT_EQ(A_X.get(i, 257), v[i]);
  }
}

using AffineMapDeathTest = testing::Test;

TEST(AffineMapDeathTest, MisshapenArgumentsEndTheProcess) {
  gf3mq::SeededGf3Source source(1);
  Mat_ZZ_p M(3, 4);
  Vec_ZZ_p v(3);
  EXPECT_EXIT(random_affine_map(M, v, source), testing::KilledBySignal(SIGABRT), "^nonsquare matrix !\n$");
  EXPECT_EXIT(augment_affine_map(Mat_ZZ_p(258, 258), Vec_ZZ_p(258)), testing::ExitedWithCode(1),
              "^Matrix index out of range\\.\n$");
}

}  // namespace
