// The vector kernels at every size against plain definitions, at each kernel
// width, at sizes on both sides of word and register boundaries: the values
// of the public forms, products and cubes in GF(3^n), Y^d, batch encryption.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <random>
#include <vector>

#include "field/field.h"
#include "field/field_polynomial.h"
#include "field/field_tables.h"
#include "linalg/quadratic_form.h"
#include "scheme/affine_map.h"
#include "scheme/composition.h"
#include "scheme/decrypt.h"
#include "scheme/key_files.h"
#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

// Odd sizes next to the boundaries of 32- and 64-byte vectors and of 64-bit
// words, and the ends of the range.
const std::vector<std::size_t> kSizes = {5, 7, 31, 33, 63, 65, 127, 129, 255, 257, 259, 511, 513, 1021};

// The value of a stored form, term by term.
unsigned form_value_by_terms(const std::uint8_t* form, std::size_t stride, const std::uint8_t* x, std::size_t n) {
  unsigned v = 0;
  for (std::size_t k = 0; k < n; ++k)
    for (std::size_t j = 0; j < k; ++j) v = (v + x[k] * (form[k * stride + j] % 3u) * x[j]) % 3;
  for (std::size_t j = 0; j < n; ++j) v = (v + (form[n * stride + j] % 3u) * x[j]) % 3;
  return v;
}

using FormValueAtWidthTest = KernelWidthTest;
GF3MQ_AT_EVERY_KERNEL_WIDTH(FormValueAtWidthTest);

TEST_P(FormValueAtWidthTest, MatchesTheTermsAtEverySize) {
  std::mt19937 rng(23);
  for (std::size_t n : kSizes) {
    for (std::size_t stride : {n, n + 1, n + 37}) {
      // Bytes of any value; plaintexts with zeros among them and without.
      std::vector<std::uint8_t> form((n + 1) * stride);
      for (auto& b : form) b = static_cast<std::uint8_t>(rng());
      for (int trial = 0; trial < 3; ++trial) {
        std::vector<std::uint8_t> x = random_elements(rng, gf3mq::form_column_bytes(n));
        if (trial == 1)
          for (std::size_t j = 0; j < n; ++j) x[j] = static_cast<std::uint8_t>(1 + rng() % 2);
        ASSERT_EQ(gf3mq::form_value(form.data(), stride, x.data(), n),
                  form_value_by_terms(form.data(), stride, x.data(), n))
            << "n " << n << " stride " << stride << " trial " << trial;
      }
    }
  }
}

TEST_P(FormValueAtWidthTest, LargestBytesAtTheLargestSize) {
  // Every byte 255 (0 mod 3) or 254 (2 mod 3), every x_j 2: the 16- and
  // 32-bit sums at their bounds.
  const std::size_t n = gf3mq::kFormMaxVariables;
  const std::vector<std::uint8_t> x(gf3mq::form_column_bytes(n), 2);
  for (std::uint8_t b : {255, 254}) {
    const std::vector<std::uint8_t> form((n + 1) * n, b);
    EXPECT_EQ(gf3mq::form_value(form.data(), n, x.data(), n), form_value_by_terms(form.data(), n, x.data(), n))
        << int(b);
  }
}

TEST_P(FormValueAtWidthTest, ReadsNothingPastTheLinearRow) {
  // The form's last byte just below a page no one may read: a read past it
  // ends the test with a fault.
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  std::mt19937 rng(5);
  for (std::size_t n : {5u, 7u, 31u, 33u, 63u, 65u, 127u}) {
    const std::size_t stride = n + 1, bytes = n * stride + n;
    const std::size_t mapped = (bytes + page - 1) / page * page + page;
    void* map = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    std::uint8_t* guard = static_cast<std::uint8_t*>(map) + mapped - page;
    ASSERT_EQ(mprotect(guard, page, PROT_NONE), 0);
    std::uint8_t* form = guard - bytes;
    for (std::size_t i = 0; i < bytes; ++i) form[i] = static_cast<std::uint8_t>(rng());
    const std::vector<std::uint8_t> x = random_elements(rng, gf3mq::form_column_bytes(n));
    EXPECT_EQ(gf3mq::form_value(form, stride, x.data(), n), form_value_by_terms(form, stride, x.data(), n)) << n;
    munmap(map, mapped);
  }
}

// The fast route's public forms against the secret maps, at sizes where the
// clear route would take too long: form i at (x, 1) must be coordinate i of
// T(F(S(x))), with S(x) = B x + V2, F(X) = X^27 X^3 in the field and T(Z) =
// A Z + V1, at random points.
// mat_A F(mat_B x + V2) + V1 at any n, F(X) = X^27 X^3 in field.
Vec_ZZ_p public_map_at(const gf3mq::Field& field, const Mat_ZZ_p& mat_A, const Vec_ZZ_p& V1, const Mat_ZZ_p& mat_B,
                       const Vec_ZZ_p& V2, const Vec_ZZ_p& x) {
  const int n = x.length();
  const Vec_ZZ_p s = mat_B * x + V2;
  const gf3mq::Element X(s.data(), s.data() + n);
  const gf3mq::Element Z = field.product(field.frobenius(X, 3), field.cube(X));
  Vec_ZZ_p z(n);
  std::copy(Z.begin(), Z.end(), z.data());
  return mat_A * z + V1;
}

using CompositionAtWidthTest = KernelWidthTest;
GF3MQ_AT_EVERY_KERNEL_WIDTH(CompositionAtWidthTest);

TEST_P(CompositionAtWidthTest, PublicFormsAreTheSecretMapsAtEverySize) {
  std::mt19937 rng(29);
  for (int n : {127, 129, 255, 259, 511, 513, 1021}) {
    const Mat_ZZ_p reduction = gf3mq::build_reduction_table(gf3mq::default_polynomial(n));
    const Mat_ZZ_p frobenius = gf3mq::build_frobenius_table(reduction);
    const gf3mq::Field field(reduction);
    const Mat_ZZ_p mat_A = random_invertible(rng, n), mat_B = random_invertible(rng, n);
    const Vec_ZZ_p V1 = random_vector(rng, n), V2 = random_vector(rng, n);
    Mat_ZZ_p a3(1, 1), a27(1, 1);
    gf3mq::symbolic_powers(gf3mq::augmented(mat_B, V2), reduction, frobenius, a3, a27);
    // Two points (x, 1), and the public map at each.
    const std::size_t positions = static_cast<std::size_t>(n) + 1;
    std::vector<std::vector<std::uint8_t>> points;
    std::vector<Vec_ZZ_p> expected;
    for (int p = 0; p < 2; ++p) {
      const Vec_ZZ_p x = random_vector(rng, n);
      expected.push_back(public_map_at(field, mat_A, V1, mat_B, V2, x));
      std::vector<std::uint8_t> point(x.data(), x.data() + n);
      point.push_back(1);
      points.push_back(point);
    }
    std::atomic<int> wrong{0}, first_wrong{-1};
    gf3mq::make_public_forms_in_parallel(
        mat_A, V1, a27, a3, reduction,
        [&](int i, Mat_ZZ_p& form) {
          for (std::size_t p = 0; p < points.size(); ++p) {
            const std::uint8_t* m = points[p].data();
            unsigned value = 0;
            for (std::size_t k = 0; k < positions; ++k) {
              unsigned row = 0;
              for (std::size_t l = 0; l < positions; ++l) row += form.data()[k * form.num_cols() + l] * m[l];
              value += m[k] * (row % 3);
            }
            if (value % 3 != expected[p][i]) {
              ++wrong;
              first_wrong = i;
            }
          }
        },
        n);
    EXPECT_EQ(wrong, 0) << "n " << n << ", form " << first_wrong;
  }
}

// Decryption with secret maps of every size: c = A F(B x + V2) + V1 (the
// public map before sk, so sk = 0 here) must give x as one of the two
// candidates.
TEST_P(CompositionAtWidthTest, DecryptionFindsTheMessageAtEverySize) {
  std::mt19937 rng(31);
  for (int n : {5, 63, 65, 127, 129, 255, 257, 259, 511, 513, 1021}) {
    const ScratchDir dir;
    write_tables_of_degree(n);
    const Mat_ZZ_p reduction = gf3mq::build_reduction_table(gf3mq::default_polynomial(n));
    const gf3mq::Field field(reduction);
    const Mat_ZZ_p mat_A = random_invertible(rng, n), mat_B = random_invertible(rng, n);
    const Vec_ZZ_p V1 = random_vector(rng, n), V2 = random_vector(rng, n);
    ASSERT_TRUE(inverse(mat_A).save(gf3mq::kInvAFile) && inverse(mat_B).save(gf3mq::kInvBFile) &&
                V1.save(gf3mq::kV1File) && V2.save(gf3mq::kV2File));
    gf3mq::SecretMaps maps(gf3mq::Sizes{n});
    gf3mq::FileProblem problem;
    ASSERT_TRUE(maps.load(&problem)) << problem.message();
    const std::vector<unsigned char> sk(static_cast<std::size_t>(n), 0);
    for (int trial = 0; trial < 3; ++trial) {
      const Vec_ZZ_p x = random_vector(rng, n);
      const Vec_ZZ_p c = public_map_at(field, mat_A, V1, mat_B, V2, x);
      std::vector<unsigned char> m(2 * static_cast<std::size_t>(n));
      maps.decrypt(sk.data(), c.data(), m.data());
      const bool first = std::equal(x.data(), x.data() + n, m.begin());
      const bool second = std::equal(x.data(), x.data() + n, m.begin() + n);
      EXPECT_TRUE(first || second) << "n " << n << ", trial " << trial;
    }
  }
}

}  // namespace
