// Public-key composition: the symbolic powers and product on known inputs
// and against concrete field arithmetic at random points, the output map,
// the corrections, folding, and the one-pass composition used by keygen.
#include "scheme/composition.h"

#include <gtest/gtest.h>

#include <random>

#include "scheme/affine_map.h"
#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

// A_X with the single entry (row, col) = 1.
Mat_ZZ_p single_entry(int row, int col) {
  Mat_ZZ_p A_X(257, 258);
  A_X.set(row, col, 1);
  return A_X;
}

// (row, col) pairs of the non-zero entries of m.
std::vector<std::pair<int, int>> nonzeros(const Mat_ZZ_p& m) {
  std::vector<std::pair<int, int>> found;
  for (int r = 0; r < m.num_rows(); ++r)
    for (int c = 0; c < m.num_cols(); ++c)
      if (m.get(r, c) != 0) found.emplace_back(r, c);
  return found;
}

// The field element whose coefficient r is row r of A evaluated at (m, 1).
FieldElem evaluate_affine(const Mat_ZZ_p& A, const Vec_ZZ_p& m) {
  FieldElem e;
  for (int r = 0; r < 257; ++r) {
    int s = A.get(r, 257);
    for (int j = 0; j < 257; ++j) s += A.get(r, j) * m[j];
    e.coef[r] = static_cast<std::uint8_t>(s % 3);
  }
  return e;
}

// sum over k, l of Q(k, l) m_k m_l with m_257 = 1.
int evaluate_form(const Mat_ZZ_p& Q, const Vec_ZZ_p& m) {
  int s = 0;
  for (int k = 0; k < 258; ++k) {
    const int mk = k == 257 ? 1 : m[k];
    if (mk == 0) continue;
    for (int l = 0; l < 258; ++l) s = (s + Q.get(k, l) * mk * (l == 257 ? 1 : m[l])) % 3;
  }
  return s;
}

struct Powers {
  Mat_ZZ_p a3{257, 258}, a27{257, 258};
  FormList a30;
};

Powers symbolic_powers(const Mat_ZZ_p& A_X, const char* poly) {
  Powers p;
  symbolic_cube(A_X, reduction_table_of(poly), p.a3);
  symbolic_pow27(A_X, frobenius_table_of(poly), p.a27);
  EXPECT_EQ(symbolic_product(p.a27, p.a3, reduction_table_of(poly), p.a30), 1);
  EXPECT_EQ(p.a30.size(), 257u);
  return p;
}

TEST(CompositionTest, PowersOfOneAndOfX) {
  const Powers one = symbolic_powers(single_entry(0, 257), kPolyA);
  EXPECT_EQ(nonzeros(one.a3), (std::vector<std::pair<int, int>>{{0, 257}}));
  EXPECT_EQ(nonzeros(one.a27), (std::vector<std::pair<int, int>>{{0, 257}}));
  EXPECT_EQ(nonzeros(one.a30[0]), (std::vector<std::pair<int, int>>{{257, 257}}));
  for (int r = 1; r < 257; ++r) ASSERT_TRUE(nonzeros(one.a30[r]).empty()) << r;

  const Powers x = symbolic_powers(single_entry(1, 257), kPolyA);
  EXPECT_EQ(nonzeros(x.a3), (std::vector<std::pair<int, int>>{{3, 257}}));
  EXPECT_EQ(nonzeros(x.a27), (std::vector<std::pair<int, int>>{{27, 257}}));
  for (int r = 0; r < 257; ++r) ASSERT_EQ(nonzeros(x.a30[r]).size(), r == 30 ? 1u : 0u) << r;
  EXPECT_EQ(x.a30[30].get(257, 257), 1);
}

TEST(CompositionTest, CubeOfXTo100IsReductionRow43) {
  Mat_ZZ_p a3(257, 258);
  symbolic_cube(single_entry(100, 257), reduction_table_of(kPolyB), a3);
  for (int r = 0; r < 257; ++r) {
    ASSERT_EQ(a3.get(r, 257), reduction_table_of(kPolyB).get(43, r));
    for (int c = 0; c < 257; ++c) ASSERT_EQ(a3.get(r, c), 0);
  }
}

TEST(CompositionTest, PlaintextVariableThroughTheWholeChain) {
  const Powers m0 = symbolic_powers(single_entry(0, 0), kPolyA);
  EXPECT_EQ(nonzeros(m0.a30[0]), (std::vector<std::pair<int, int>>{{0, 0}}));
  Vec_ZZ_p V1(257);
  FormList PK = apply_output_map(identity(257), V1, m0.a30);
  for (int r = 0; r < 257; ++r) ASSERT_EQ(nonzeros(PK[r]), nonzeros(m0.a30[r])) << r;  // copies
  const ByteList SK = diagonal_sums(PK);
  EXPECT_EQ(SK[0], 1);
  EXPECT_EQ(fold_public_key(PK), 1);
  EXPECT_TRUE(nonzeros(PK[0]).empty());
}

TEST(CompositionTest, SymbolicPowersAgreeWithFieldArithmeticAtRandomPoints) {
  for (const char* poly : {kPolyA, kPolyB}) {
    std::mt19937 rng(poly == kPolyA ? 1 : 2);
    const Mat_ZZ_p A_X = augment_affine_map(random_invertible(rng, 257), random_vector(rng, 257));
    const Powers p = symbolic_powers(A_X, poly);
    const Mat_ZZ_p& table = reduction_table_of(poly);
    for (int trial = 0; trial < 3; ++trial) {
      const Vec_ZZ_p m = random_vector(rng, 257);
      const FieldElem X = evaluate_affine(A_X, m);
      EXPECT_EQ(evaluate_affine(p.a3, m), cube_times(X, 1, table));
      EXPECT_EQ(evaluate_affine(p.a27, m), cube_times(X, 3, table));
      const FieldElem X30 = central_map(X, table);
      for (int r = 0; r < 257; ++r) ASSERT_EQ(evaluate_form(p.a30[r], m), X30.coef[r]) << poly << " coefficient " << r;
    }
  }
}

// The two routes to the public forms run through the same properties.
enum class Route { clear, fast };

FormList public_forms(Route route, const Mat_ZZ_p& M, const Vec_ZZ_p& v, const Mat_ZZ_p& A_X, const char* poly) {
  Mat_ZZ_p a3(257, 258), a27(257, 258);
  symbolic_cube(A_X, reduction_table_of(poly), a3);
  symbolic_pow27(A_X, frobenius_table_of(poly), a27);
  if (route == Route::fast) return compose_public_forms(M, v, a27, a3, reduction_table_of(poly));
  FormList a30;
  symbolic_product(a27, a3, reduction_table_of(poly), a30);
  return apply_output_map(M, v, a30);
}

class PublicFormsTest : public testing::TestWithParam<Route> {};

TEST_P(PublicFormsTest, OneAndXGiveTheirThirtiethPowers) {
  const Vec_ZZ_p zero(257);
  const FormList one = public_forms(GetParam(), identity(257), zero, single_entry(0, 257), kPolyA);
  EXPECT_EQ(nonzeros(one[0]), (std::vector<std::pair<int, int>>{{257, 257}}));
  for (int r = 1; r < 257; ++r) ASSERT_TRUE(nonzeros(one[r]).empty()) << r;
  const FormList x = public_forms(GetParam(), identity(257), zero, single_entry(1, 257), kPolyB);
  for (int r = 0; r < 257; ++r)
    ASSERT_EQ(nonzeros(x[r]),
              (r == 30 ? std::vector<std::pair<int, int>>{{257, 257}} : std::vector<std::pair<int, int>>{}))
        << r;
}

TEST_P(PublicFormsTest, TheFormsAreTheSecretMapsAtRandomPoints) {
  std::mt19937 rng(12);
  const Mat_ZZ_p mat_A = random_invertible(rng, 257), mat_B = random_invertible(rng, 257);
  const Vec_ZZ_p V1 = random_vector(rng, 257), V2 = random_vector(rng, 257);
  const FormList PK = public_forms(GetParam(), mat_A, V1, augment_affine_map(mat_B, V2), kPolyB);
  for (int trial = 0; trial < 3; ++trial) {
    const Vec_ZZ_p m = random_vector(rng, 257);  // any plaintext: the forms are unfolded
    const Vec_ZZ_p expected = public_map(mat_A, V1, mat_B, V2, m, reduction_table_of(kPolyB));
    for (int i = 0; i < 257; ++i) ASSERT_EQ(evaluate_form(PK[i], m), expected[i]) << "form " << i;
  }
}

TEST_P(PublicFormsTest, TheOutputShiftLandsOnTheConstantOnly) {
  std::mt19937 rng(13);
  const Mat_ZZ_p M = random_matrix(rng, 257, 257), A_X = augment_affine_map(random_invertible(rng, 257), Vec_ZZ_p(257));
  const Vec_ZZ_p V1 = random_vector(rng, 257);
  const FormList shifted = public_forms(GetParam(), M, V1, A_X, kPolyA);
  const FormList plain = public_forms(GetParam(), M, Vec_ZZ_p(257), A_X, kPolyA);
  for (int i = 0; i < 257; ++i) {
    Mat_ZZ_p expected = plain[i];
    expected.set(257, 257, static_cast<unsigned char>(expected.get(257, 257) + V1[i]));
    ASSERT_TRUE(std::equal(expected.data(), expected.data() + 66564, shifted[i].data())) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(BothRoutes, PublicFormsTest, testing::Values(Route::clear, Route::fast),
                         [](const testing::TestParamInfo<Route>& info) {
                           return std::string(info.param == Route::clear ? "clear" : "fast");
                         });

TEST(CompositionTest, OnePassCompositionEqualsProductThenOutputMap) {
  std::mt19937 rng(17);
  const Mat_ZZ_p mat_A = random_invertible(rng, 257);
  const Vec_ZZ_p V1 = random_vector(rng, 257);
  const Mat_ZZ_p A_X = augment_affine_map(random_invertible(rng, 257), random_vector(rng, 257));
  const Powers p = symbolic_powers(A_X, kPolyB);
  const FormList expected = apply_output_map(mat_A, V1, p.a30);
  const FormList fast = compose_public_forms(mat_A, V1, p.a27, p.a3, reduction_table_of(kPolyB));
  ASSERT_EQ(fast.size(), 257u);
  for (int i = 0; i < 257; ++i)
    ASSERT_TRUE(std::equal(expected[i].data(), expected[i].data() + 66564, fast[i].data())) << "form " << i;
}

TEST(CompositionTest, OutputMapShiftLandsOnTheConstant) {
  std::mt19937 rng(3);
  FormList forms;
  for (int r = 0; r < 257; ++r) forms.push_back(random_matrix(rng, 258, 258));
  Vec_ZZ_p V1(257);
  V1.set(5, 2);
  const FormList PK = apply_output_map(identity(257), V1, forms);
  for (int i = 0; i < 257; ++i) {
    Mat_ZZ_p expected = forms[i];
    if (i == 5) expected.set(257, 257, static_cast<unsigned char>(expected.get(257, 257) + 2));
    ASSERT_TRUE(std::equal(expected.data(), expected.data() + 66564, PK[i].data())) << i;
  }
  // A general output map: PK[i] = sum_j M(i, j) forms[j], checked on entries.
  const Mat_ZZ_p M = random_matrix(rng, 257, 257);
  const FormList mixed = apply_output_map(M, V1, forms);
  for (int probe = 0; probe < 50; ++probe) {
    const int i = static_cast<int>(rng() % 257), k = static_cast<int>(rng() % 258), l = static_cast<int>(rng() % 258);
    int s = 0;
    for (int j = 0; j < 257; ++j) s += M.get(i, j) * forms[j].get(k, l);
    if (k == 257 && l == 257) s += V1[i];
    ASSERT_EQ(mixed[i].get(k, l), s % 3);
  }
}

TEST(CompositionTest, DiagonalSumsAndFolding) {
  FormList forms(257, Mat_ZZ_p(258, 258));
  forms[0].set(0, 0, 1);
  forms[0].set(1, 1, 1);
  forms[0].set(2, 2, 2);
  forms[0].set(257, 257, 1);
  forms[0].set(3, 5, 2);
  forms[0].set(5, 3, 2);
  forms[0].set(4, 257, 1);
  forms[0].set(257, 4, 1);
  forms[1].set(200, 10, 1);
  const ByteList SK = diagonal_sums(forms);
  EXPECT_EQ(SK[0], 2);
  EXPECT_EQ(SK[1], 0);
  fold_public_key(forms);
  EXPECT_EQ(forms[0].get(5, 3), 1);
  EXPECT_EQ(forms[0].get(3, 5), 0);
  EXPECT_EQ(forms[0].get(257, 4), 2);
  EXPECT_EQ(forms[0].get(4, 257), 0);
  EXPECT_EQ(forms[1].get(200, 10), 1);
  for (int j = 0; j < 258; ++j) ASSERT_EQ(forms[0].get(j, j), 0);
}

TEST(CompositionTest, FoldingKeepsTheValueOffTheDiagonal) {
  std::mt19937 rng(23);
  FormList forms;
  for (int r = 0; r < 257; ++r) forms.push_back(random_matrix(rng, 258, 258));
  const FormList before = forms;
  const ByteList SK = diagonal_sums(forms);
  fold_public_key(forms);
  for (int trial = 0; trial < 5; ++trial) {
    Vec_ZZ_p m(257);
    for (int j = 0; j < 257; ++j) m.set(j, static_cast<unsigned char>(1 + rng() % 2));  // m_j^2 = 1
    const int i = static_cast<int>(rng() % 257);
    EXPECT_EQ((evaluate_form(forms[i], m) + SK[i]) % 3, evaluate_form(before[i], m));
  }
}

}  // namespace
