// The scheme at every odd n from 5 to 1021: the field's products, cubes and
// Y^d against a schoolbook reference mod f, the product of long
// polynomials at word boundaries, irreducibility at composite degrees, the
// default f of a degree, and the public forms of the fast route against the
// clear one, at every kernel width where kernels are involved.
#include <gtest/gtest.h>

#include <random>

#include "field/field.h"
#include "field/field_polynomial.h"
#include "field/field_tables.h"
#include "field/poly_mul.h"
#include "scheme/affine_map.h"
#include "scheme/composition.h"
#include "scheme/encrypt.h"
#include "scheme/encrypt_batch.h"
#include "scheme/key_files.h"
#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;
using Coefficients = std::vector<std::uint8_t>;

// Schoolbook a * b over GF(3).
Coefficients schoolbook(const Coefficients& a, const Coefficients& b) {
  std::vector<unsigned> p(a.size() + b.size() - 1, 0);
  for (std::size_t i = 0; i < a.size(); ++i)
    for (std::size_t j = 0; j < b.size(); ++j) p[i + j] += a[i] * b[j];
  Coefficients r(p.size());
  for (std::size_t i = 0; i < p.size(); ++i) r[i] = static_cast<std::uint8_t>(p[i] % 3);
  return r;
}

// p mod the monic f, term by term from the top: the clear reference.
Coefficients modulo(Coefficients p, const gf3mq::Polynomial& f) {
  const std::size_t n = static_cast<std::size_t>(f.degree());
  for (std::size_t e = p.size(); e-- > n;) {
    const unsigned c = p[e];
    for (std::size_t i = 0; i <= n; ++i)
      p[e - n + i] = static_cast<std::uint8_t>((p[e - n + i] + 9 - c * f.coef[i]) % 3);
  }
  p.resize(n);
  return p;
}

Coefficients random_coefficients(std::mt19937& rng, std::size_t n) {
  Coefficients c(n);
  for (auto& e : c) e = static_cast<std::uint8_t>(rng() % 3);
  return c;
}

gf3mq::Element as_element(const Coefficients& c) { return gf3mq::Element(c.begin(), c.end()); }
Coefficients as_coefficients(const gf3mq::Element& e) { return Coefficients(e.begin(), e.end()); }

// A monic f of degree n whose g = x^n mod f is dense, so that the field
// reduces with its table's rows (not irreducible as a rule: the arithmetic
// mod f is the same).
gf3mq::Polynomial dense_polynomial(std::mt19937& rng, int n) {
  gf3mq::Polynomial f{random_coefficients(rng, static_cast<std::size_t>(n) + 1)};
  f.coef.back() = 1;
  f.coef[static_cast<std::size_t>(n) - 1] = 1;
  return f;
}

using SizesAtWidthTest = KernelWidthTest;
GF3MQ_AT_EVERY_KERNEL_WIDTH(SizesAtWidthTest);

TEST_P(SizesAtWidthTest, LongProductsAreTheSchoolbookProductAtEveryWordBoundary) {
  std::mt19937 rng(7);
  for (std::size_t length : {1, 2, 5, 63, 64, 65, 127, 128, 129, 255, 256, 257, 258, 509, 511, 513, 1021}) {
    for (int trial = 0; trial < 2; ++trial) {
      Coefficients a = random_coefficients(rng, length), b = random_coefficients(rng, length);
      if (trial == 1) std::fill(a.begin(), a.end(), 2), std::fill(b.begin(), b.end(), 2);  // every window at its top
      std::vector<std::uint8_t> product(gf3mq::long_product_bytes(length), 9);
      gf3mq::poly_mul_long(a.data(), b.data(), length, product.data());
      const Coefficients expected = schoolbook(a, b);
      ASSERT_TRUE(std::equal(expected.begin(), expected.end(), product.begin())) << length;
      for (std::size_t i = expected.size(); i < product.size(); ++i) ASSERT_EQ(product[i], 0) << length;
    }
  }
}

TEST_P(SizesAtWidthTest, FieldArithmeticIsArithmeticModF) {
  std::mt19937 rng(8);
  for (int n : {5, 7, 63, 65, 127, 129, 255, 257, 259, 509, 511, 513, 1021}) {
    // The default f (a sparse g), and a dense one read through its rows.
    for (const gf3mq::Polynomial& f : {gf3mq::default_polynomial(n), dense_polynomial(rng, n)}) {
      const gf3mq::Field field(gf3mq::build_reduction_table(f));
      for (int trial = 0; trial < 3; ++trial) {
        const Coefficients a = random_coefficients(rng, static_cast<std::size_t>(n)),
                           b = random_coefficients(rng, static_cast<std::size_t>(n));
        ASSERT_EQ(as_coefficients(field.product(as_element(a), as_element(b))), modulo(schoolbook(a, b), f)) << n;
        ASSERT_EQ(as_coefficients(field.cube(as_element(a))), modulo(schoolbook(a, schoolbook(a, a)), f)) << n;
      }
      const Coefficients twos(static_cast<std::size_t>(n), 2);
      ASSERT_EQ(as_coefficients(field.product(as_element(twos), as_element(twos))), modulo(schoolbook(twos, twos), f))
          << n;
    }
  }
}

TEST(SizesTest, TheRootOfX30IsXOrMinusXAtEveryOddSizeOfBothResidues) {
  std::mt19937 rng(9);
  std::vector<int> sizes;
  for (int n = 5; n < 140; n += 2) sizes.push_back(n);
  for (int n : {255, 257, 259, 509, 1021}) sizes.push_back(n);
  int seen_minus = 0, seen_plus = 0;  // non-squares and squares among the X
  for (int n : sizes) {
    const gf3mq::Field field(gf3mq::build_reduction_table(gf3mq::default_polynomial(n)));
    for (int trial = 0; trial < (n < 140 ? 3 : 2); ++trial) {
      const gf3mq::Element X = as_element(random_coefficients(rng, static_cast<std::size_t>(n)));
      const gf3mq::Element X3 = field.cube(X), Y = field.product(field.frobenius(X3, 2), X3);
      const gf3mq::Element root = field.central_map_root(Y);
      gf3mq::Element minus = X;
      for (auto& e : minus) e = static_cast<std::uint8_t>((3 - e) % 3);
      ASSERT_TRUE(root == X || root == minus) << n;
      seen_minus += root == minus && root != X;
      seen_plus += root == X;
      // A square's root is itself.
      const gf3mq::Element square = field.product(X, X), S3 = field.cube(square);
      ASSERT_EQ(field.central_map_root(field.product(field.frobenius(S3, 2), S3)), square) << n;
    }
  }
  EXPECT_GT(seen_minus, 20);
  EXPECT_GT(seen_plus, 20);
}

TEST(SizesTest, TheExponentsDigitsGiveTheSameRootAsTheShortChain) {
  // Y^d from d's base-3 digits, the long way: the product of the Frobenius
  // powers Y^(3^t) of every digit.
  std::mt19937 rng(10);
  for (int n : {5, 7, 9, 11, 31, 33, 127, 257}) {
    const gf3mq::Field field(gf3mq::build_reduction_table(gf3mq::default_polynomial(n)));
    const std::vector<std::uint8_t> digits = field.root_exponent_digits();
    ASSERT_LE(digits.size(), static_cast<std::size_t>(n));
    const gf3mq::Element Y = as_element(random_coefficients(rng, static_cast<std::size_t>(n)));
    gf3mq::Element power = Y, result = field.zero();
    result[0] = 1;
    for (std::uint8_t digit : digits) {
      for (std::uint8_t k = 0; k < digit; ++k) result = field.product(result, power);
      power = field.cube(power);
    }
    EXPECT_EQ(result, field.central_map_root(Y)) << n;
  }
  // At 257: every t in 2..255 with t mod 4 in {2, 3}, and 256 (the system's own digits).
  const gf3mq::Field field(gf3mq::build_reduction_table(gf3mq::default_polynomial(257)));
  const std::vector<std::uint8_t> digits = field.root_exponent_digits();
  for (std::size_t t = 0; t < digits.size(); ++t) {
    const bool one = t == 256 || (t >= 2 && t <= 255 && (t % 4 == 2 || t % 4 == 3));
    EXPECT_EQ(digits[t], one ? 1 : 0) << t;
  }
}

TEST(SizesTest, CompositeDegreesNeedTheGcdStepOfTheIrreducibilityTest) {
  // Three distinct irreducible cubics: x^(3^9) = x mod their product, which
  // has no root, and still it is reducible.
  const Coefficients c1 = {2, 2, 0, 1}, c2 = {1, 2, 0, 1},
                     c3 = {2, 1, 1, 1};  // x^3 + 2x + 2, x^3 + 2x + 1, x^3 + x^2 + x + 2
  for (const Coefficients& c : {c1, c2, c3}) EXPECT_TRUE(gf3mq::is_irreducible(gf3mq::Polynomial{c}));
  const gf3mq::Polynomial product{schoolbook(schoolbook(c1, c2), c3)};
  ASSERT_EQ(product.degree(), 9);
  for (unsigned a = 0; a < 3; ++a) EXPECT_NE(gf3mq::evaluate(product, a), 0u);
  EXPECT_FALSE(gf3mq::is_irreducible(product));
  // Four more, degrees 12 to 21: at 15 and 21 only the step of n's largest prime (n/5, n/7 = 3) refuses them.
  Coefficients many = product.coef;
  for (const Coefficients& c : {Coefficients{2, 0, 1, 1}, {1, 2, 1, 1}, {1, 0, 2, 1}, {1, 1, 2, 1}}) {
    many = schoolbook(many, c);
    EXPECT_FALSE(gf3mq::is_irreducible(gf3mq::Polynomial{many})) << many.size() - 1;
  }
  // The defaults of composite degrees are irreducible, and gp agrees where it is installed.
  const bool gp = run_command("command -v gp").status == 0;
  for (int n : {9, 15, 21, 25, 27, 45, 49, 63, 105}) {
    const gf3mq::Polynomial f = gf3mq::default_polynomial(n);
    ASSERT_EQ(f.degree(), n);
    EXPECT_TRUE(gf3mq::is_irreducible(f)) << n;
    if (!gp) continue;
    std::string text = gf3mq::format_polynomial(f);
    const CommandResult run = run_command("echo 'print(polisirreducible(Mod(1,3)*(" + text + ")))' | gp -q 2>&1");
    EXPECT_EQ(run.out, "1\n") << text;
  }
}

TEST(SizesTest, TrinomialsAreTestedAsTheirTablesSay) {
  // Each x^n + a x^k + b through its own sparse form (k <= n / 2) or its
  // reciprocal's (k > n / 2), and through its reduction table.
  for (int n : {9, 15, 17, 21})
    for (int k = 1; k < n; ++k)
      for (std::uint8_t a = 1; a <= 2; ++a)
        for (std::uint8_t b = 1; b <= 2; ++b) {
          gf3mq::Polynomial f{Coefficients(static_cast<std::size_t>(n) + 1, 0)};
          f.coef[static_cast<std::size_t>(n)] = 1, f.coef[static_cast<std::size_t>(k)] = a, f.coef[0] = b;
          EXPECT_EQ(gf3mq::is_irreducible(f), gf3mq::is_irreducible(f, gf3mq::build_reduction_table(f)))
              << gf3mq::format_polynomial(f);
        }
}

TEST(SizesTest, TheDefaultPolynomialOfEachDegree) {
  EXPECT_EQ(gf3mq::format_polynomial(gf3mq::default_polynomial(257)), "x^257 + 2*x^22 + 1");
  // The first irreducible trinomial in the order of k, a, b...
  EXPECT_EQ(gf3mq::format_polynomial(gf3mq::default_polynomial(5)), "x^5 + 2*x + 1");
  EXPECT_EQ(gf3mq::format_polynomial(gf3mq::default_polynomial(7)), "x^7 + x^2 + 2");
  EXPECT_EQ(gf3mq::format_polynomial(gf3mq::default_polynomial(1021)), "x^1021 + x^40 + 2");
  // ...and where there is none, the first quadrinomial in the order of k, j, a, b, c.
  EXPECT_EQ(gf3mq::format_polynomial(gf3mq::default_polynomial(49)), "x^49 + 2*x^3 + x^2 + 1");
  // Past thousands of trinomials, with x^k for k > n / 2 among them.
  EXPECT_EQ(gf3mq::format_polynomial(gf3mq::default_polynomial(893)), "x^893 + x^30 + x^2 + 1");
  EXPECT_EQ(gf3mq::format_polynomial(gf3mq::default_polynomial(975)), "x^975 + x^33 + x^5 + 1");
  for (int n : {5, 7, 31, 49, 127, 509})
    EXPECT_TRUE(gf3mq::check_reduction_table(gf3mq::build_reduction_table(gf3mq::default_polynomial(n)))) << n;
}

TEST(SizesTest, TheFastRouteGivesTheFormsOfTheClearRouteAtOtherSizes) {
  std::mt19937 rng(11);
  // 63 and 65: forms of 64 and 66 positions, one word of a packed row and just over.
  for (int n : {5, 7, 9, 13, 29, 63, 65}) {
    const Mat_ZZ_p reduction = gf3mq::build_reduction_table(gf3mq::default_polynomial(n));
    const Mat_ZZ_p frobenius = gf3mq::build_frobenius_table(reduction);
    const Mat_ZZ_p mat_A = random_invertible(rng, n), mat_B = random_invertible(rng, n);
    const Vec_ZZ_p V1 = random_vector(rng, n), V2 = random_vector(rng, n);
    const Mat_ZZ_p A_X = gf3mq::augmented(mat_B, V2);
    Mat_ZZ_p a3(1, 1), a27(1, 1);
    gf3mq::symbolic_powers(A_X, reduction, frobenius, a3, a27);
    const FormList clear = gf3mq::symbolic_public_forms(mat_A, V1, A_X, reduction, frobenius);
    const FormList fast = compose_public_forms(mat_A, V1, a27, a3, reduction, n);
    ASSERT_EQ(fast.size(), clear.size());
    for (std::size_t i = 0; i < fast.size(); ++i) EXPECT_EQ(text(fast[i]), text(clear[i])) << n << " form " << i;
  }
}

TEST_P(SizesAtWidthTest, BatchEncryptionIsSingleEncryptionAtSizesWithLongRows) {
  // At 361 a row of the key has 121 groups: its byte sums are reduced on the
  // way; every entry 2 and all-2 plaintexts bring them to their limit.
  std::mt19937 rng(12);
  for (int n : {5, 63, 65, 127, 129, 255, 257, 259, 361, 511, 513}) {
    const gf3mq::Sizes sizes{n};
    for (int pass = n > 361 ? 1 : 0; pass < 2; ++pass) {  // the largest keys on random entries only
      std::vector<unsigned char> pk(sizes.public_key_digits(), 2);
      if (pass == 1) pk = random_coefficients(rng, pk.size());
      std::vector<unsigned char> m(70 * sizes.elements(), 2);
      for (std::size_t i = sizes.elements(); pass == 1 && i < m.size(); ++i)
        m[i] = static_cast<unsigned char>(1 + rng() % 2);
      std::vector<unsigned char> batch(m.size()), single(sizes.elements());
      gf3mq::PreparedPublicKey(sizes, pk.data()).encrypt(m.data(), 70, batch.data());
      for (std::size_t t = 0; t < 70; ++t) {
        gf3mq::encrypt_at(sizes, pk.data(), &m[t * sizes.elements()], single.data());
        ASSERT_TRUE(
            std::equal(single.begin(), single.end(), batch.begin() + static_cast<std::ptrdiff_t>(t * sizes.elements())))
            << n << " pass " << pass << " plaintext " << t;
      }
    }
  }
}

TEST(SizesTest, TheSizesOfAFolderComeFromItsFiles) {
  ScratchDir dir;
  write_tables_of_degree(7);
  EXPECT_EQ(gf3mq::degree_of_reduction_table(), 7);
  write_file("new Xe_mod_Irredfx.txt", std::string(100, '1'));  // no size has 100 digits
  EXPECT_EQ(gf3mq::degree_of_reduction_table(), 257);
  EXPECT_EQ(gf3mq::degree_of_reduction_table("missing"), 257);
  EXPECT_EQ(gf3mq::Sizes{7}.public_key_digits(), 7u * 8 * 8);
  EXPECT_EQ(gf3mq::kDefaultSizes.reduction_digits(), 512u * 257);
  for (int n : {4, 3, 1023, 256, 0, -5}) EXPECT_FALSE(gf3mq::degree_exists(n)) << n;
  for (int n : {5, 7, 257, 1021}) EXPECT_TRUE(gf3mq::degree_exists(n)) << n;
}

}  // namespace
