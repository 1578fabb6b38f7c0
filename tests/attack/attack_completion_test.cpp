// The relations from the public forms as blocked products: the same as row
// by row, the same on 1, 2 and 3 threads, and plaintexts (and x0) recovered
// from keys of this system at every odd n from 5 to 129.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "attack/public_forms.h"
#include "attack/recover.h"
#include "attack/relations.h"
#include "attack/relations_plan.h"
#include "field/sizes.h"
#include "linalg/packed_echelon.h"
#include "linalg/packed_product.h"
#include "scheme/gf3_source.h"
#include "scheme/keygen.h"
#include "tests/test_support.h"
#include "tests/toy_key.h"

namespace {

using namespace gf3mq::test;

bool same(const gf3mq::PackedMatrix& x, const gf3mq::PackedMatrix& y) {
  if (x.rows() != y.rows() || x.cols() != y.cols()) return false;
  for (std::size_t r = 0; r < x.rows(); ++r)
    if (!std::equal(x.ones(r), x.ones(r) + 2 * x.words(), y.ones(r))) return false;
  return true;
}

bool same(const gf3mq::Relations& x, const gf3mq::Relations& y) {
  if (x.n != y.n || x.count() != y.count() || x.d != y.d || !same(x.b, y.b) || !same(x.g, y.g)) return false;
  for (std::size_t k = 0; k < x.count(); ++k)
    if (!same(x.a[k], y.a[k])) return false;
  return true;
}

gf3mq::Relations empty_relations(std::size_t n, std::size_t count) {
  return gf3mq::Relations{n, std::vector<gf3mq::PackedMatrix>(count, gf3mq::PackedMatrix(n, n)),
                          gf3mq::PackedMatrix(count, n), gf3mq::PackedMatrix(count, n),
                          std::vector<std::uint8_t>(count)};
}

// Sizes across the blocks: 32 relations and 32 rows a_u at a time, D's
// blocks of one word (n = 11: 64 columns over e) and of two (n = 97).
class CompletionTest : public testing::TestWithParam<std::size_t> {};

TEST_P(CompletionTest, BlockedProductsGiveWhatRowByRowGivesOnAnyNumberOfThreads) {
  const std::size_t n = GetParam();
  const ToyKey key = make_toy_key(n, 300 + n);
  const gf3mq::PublicForms forms(key.stored.data(), n);
  gf3mq::Plan plan;
  std::size_t s = gf3mq::first_set_size(n);
  while (!gf3mq::make_plan(forms, s, plan)) ++s;
  const gf3mq::PackedMatrix kernel = gf3mq::kernel_basis(gf3mq::equations_of(forms, plan, {}));
  ASSERT_EQ(kernel.rows(), n);
  gf3mq::Relations by_rows = empty_relations(n, n);
  gf3mq::complete_relations_by_rows(forms, plan, kernel, by_rows);
  ASSERT_TRUE(gf3mq::relations_hold(by_rows, forms, 10, 3));
  for (unsigned threads : {1u, 2u, 3u}) {
    gf3mq::Relations blocked = empty_relations(n, n);
    gf3mq::complete_relations(forms, plan, kernel, blocked, threads);
    EXPECT_TRUE(same(blocked, by_rows)) << threads << " threads";
  }
  // And the whole computation, elimination included.
  gf3mq::Relations one, three;
  ASSERT_TRUE(gf3mq::relations_from_public_forms(forms, one, {}, nullptr, 1));
  ASSERT_TRUE(gf3mq::relations_from_public_forms(forms, three, {}, nullptr, 3));
  EXPECT_TRUE(same(one, three));
  EXPECT_TRUE(same(one, by_rows));
}

INSTANTIATE_TEST_SUITE_P(PrimeDegrees, CompletionTest, testing::Values(11, 67, 97), testing::PrintToStringParamName());

TEST(KernelOfEquationsTest, TheRowsTheRankNeedsGiveTheKernelOfAllOnlyWhenTheRestVanishOnIt) {
  std::mt19937 rng(41);
  const std::size_t n = 10, unknowns = 600, rows = 1700;  // the rest checked 1024 rows at a time
  // Rows in a space of rank unknowns - n: the first unknowns - n + 24 already span it.
  const gf3mq::PackedMatrix span = random_packed(rng, unknowns - n, unknowns);
  const gf3mq::PackedMatrix eqs = gf3mq::multiply(random_packed(rng, rows, unknowns - n), span);
  const gf3mq::PackedMatrix all = gf3mq::kernel_basis(eqs);
  ASSERT_EQ(all.rows(), n);
  for (unsigned threads : {1u, 2u}) EXPECT_TRUE(same(gf3mq::kernel_of_equations(eqs, n, {}, threads), all));
  // The last row outside that space: the kernel of all rows is smaller.
  gf3mq::PackedMatrix more = eqs;
  more.set(rows - 1, 0, more.get(rows - 1, 0) + 1);
  const gf3mq::PackedMatrix fewer = gf3mq::kernel_basis(more);
  ASSERT_EQ(fewer.rows(), n - 1);
  EXPECT_TRUE(same(gf3mq::kernel_of_equations(more, n, {}, 2), fewer));
  // Too few rows for the first ones to suffice: all of them.
  gf3mq::PackedMatrix short_rows(unknowns - n + 5, unknowns);
  std::copy_n(eqs.ones(0), 2 * eqs.words() * short_rows.rows(), short_rows.ones(0));
  EXPECT_TRUE(same(gf3mq::kernel_of_equations(short_rows, n, {}, 2), gf3mq::kernel_basis(short_rows)));
}

TEST(AttackAtEveryOddSizeTest, PlaintextsComeBackFromThePublicKeyAlone) {
  std::mt19937 rng(17);
  for (int n = 5; n <= 129; n += 2) {
    SCOPED_TRACE(n);
    ScratchDir dir;
    const gf3mq::Sizes sizes{n};
    write_tables_of_degree(n);
    std::vector<unsigned char> pk(sizes.public_key_digits()), sk(sizes.elements());
    gf3mq::SeededGf3Source source(static_cast<std::uint64_t>(n));
    gf3mq::FileProblem problem;
    ASSERT_EQ(gf3mq::generate_key_set(sizes, pk.data(), sk.data(), source, &problem), 0) << problem.message();
    const gf3mq::PublicForms forms(pk.data(), sizes.elements());
    gf3mq::Relations relations;
    const bool search = sizes.elements() < gf3mq::kSmallestDegreeForRelations;
    gf3mq::RelationsReport report;
    gf3mq::PlaintextRecovery recovery(relations, forms);
    if (!search) {
      ASSERT_TRUE(gf3mq::relations_from_public_forms(forms, relations, {}, &report, 2)) << report.failure;
      Mat_ZZ_p inv_b(n, n);
      Vec_ZZ_p v2(n);
      ASSERT_TRUE(inv_b.load("new Inv_B.txt") && v2.load("new V2.txt"));
      const Vec_ZZ_p x0 = affine_inverse(inv_b, Vec_ZZ_p(n), v2);  // x0 = Inv_B (0 - V2): found from pk alone
      EXPECT_EQ(recovery.central_zero(), std::vector<std::uint8_t>(x0.data(), x0.data() + n));
    }
    for (int t = 0; t < 3; ++t) {
      std::vector<std::uint8_t> x(sizes.elements());
      for (auto& e : x) e = static_cast<std::uint8_t>(1 + rng() % 2);
      const std::vector<std::uint8_t> c = forms.encrypt(x.data());
      const gf3mq::Plaintexts found = search ? gf3mq::search_plaintexts(forms, c.data()) : recovery.recover(c.data());
      EXPECT_NE(std::find(found.begin(), found.end(), x), found.end());
      for (const std::vector<std::uint8_t>& p : found) EXPECT_EQ(forms.encrypt(p.data()), c);
    }
  }
}

}  // namespace
