// The attack on keys over toy fields GF(3^n) made here: the relations from
// the public forms hold, agree with those from pairs and recover
// plaintexts; keys of another structure yield none; saved relations load
// only for their own key and only when every element is a digit 0, 1 or 2.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "attack/public_forms.h"
#include "attack/recover.h"
#include "attack/relations.h"
#include "attack/relations_file.h"
#include "linalg/packed_echelon.h"
#include "tests/test_support.h"
#include "tests/toy_key.h"

namespace {

using namespace gf3mq::test;

std::vector<std::uint8_t> random_plaintext(std::mt19937& rng, std::size_t n) {
  std::vector<std::uint8_t> x(n);
  for (auto& e : x) e = static_cast<std::uint8_t>(1 + rng() % 2);
  return x;
}

// The n x (n^2 + 2n + 1) matrix of the relations, one flattened relation per row.
gf3mq::PackedMatrix flattened(const gf3mq::Relations& r) {
  const std::size_t n = r.n;
  gf3mq::PackedMatrix m(r.count(), n * n + 2 * n + 1);
  for (std::size_t k = 0; k < r.count(); ++k) {
    for (std::size_t u = 0; u < n; ++u) {
      for (std::size_t j = 0; j < n; ++j) m.set(k, u * n + j, r.a[k].get(u, j));
      m.set(k, n * n + u, r.b.get(k, u));
      m.set(k, n * n + n + u, r.g.get(k, u));
    }
    m.set(k, n * n + 2 * n, r.d[k]);
  }
  return m;
}

class ToyAttackTest : public testing::TestWithParam<std::size_t> {};

TEST_P(ToyAttackTest, RelationsFromTheFormsHoldAndRecoverPlaintexts) {
  const std::size_t n = GetParam();
  const ToyKey key = make_toy_key(n, 100 + n);
  const gf3mq::PublicForms forms(key.stored.data(), n);
  std::mt19937 rng(static_cast<std::uint32_t>(n));
  // The stored forms plus sk are the public map on plaintexts over {1, 2}.
  for (int t = 0; t < 5; ++t) {
    const std::vector<std::uint8_t> x = random_plaintext(rng, n), c = forms.encrypt(x.data()),
                                    y = toy_public_map(key, x);
    for (std::size_t i = 0; i < n; ++i) ASSERT_EQ((c[i] + key.sk[i]) % 3, y[i]);
  }
  gf3mq::Relations relations;
  gf3mq::RelationsReport report;
  ASSERT_TRUE(gf3mq::relations_from_public_forms(forms, relations, {}, &report)) << report.failure;
  EXPECT_EQ(relations.count(), n);
  EXPECT_GE(report.equations + n, report.unknowns);
  EXPECT_TRUE(gf3mq::relations_hold(relations, forms, 20, 1));
  EXPECT_EQ(gf3mq::kernel_basis(flattened(relations)).rows(), n * n + n + 1);  // n independent relations
  // In a toy field the other square root is now and then over {1, 2} as
  // well, a second plaintext of the same ciphertext.
  int same = 0;
  gf3mq::PlaintextRecovery recovery(relations, forms);
  for (int t = 0; t < 10; ++t) {
    const std::vector<std::uint8_t> x = random_plaintext(rng, n), c = forms.encrypt(x.data());
    const gf3mq::Plaintexts found = recovery.recover(c.data());
    EXPECT_NE(std::find(found.begin(), found.end(), x), found.end());
    for (const std::vector<std::uint8_t>& p : found) EXPECT_EQ(forms.encrypt(p.data()), c);
    same += found.size() == 1;
  }
  EXPECT_GE(same, 8);
}

TEST_P(ToyAttackTest, BothRoutesFindTheSameRelations) {
  const std::size_t n = GetParam();
  const ToyKey key = make_toy_key(n, 200 + n);
  const gf3mq::PublicForms forms(key.stored.data(), n);
  gf3mq::Relations from_forms, from_pairs;
  ASSERT_TRUE(gf3mq::relations_from_public_forms(forms, from_forms));
  ASSERT_TRUE(gf3mq::relations_from_pairs(forms, 7, from_pairs));
  // The same n-dimensional space: together they still span only n dimensions.
  const gf3mq::PackedMatrix a = flattened(from_forms), b = flattened(from_pairs);
  gf3mq::PackedMatrix both(2 * n, a.cols());
  for (std::size_t k = 0; k < n; ++k) {
    std::copy_n(a.ones(k), 2 * a.words(), both.ones(k));
    std::copy_n(b.ones(k), 2 * b.words(), both.ones(n + k));
  }
  EXPECT_EQ(gf3mq::reduce_to_echelon(both).size(), n);
}

INSTANTIATE_TEST_SUITE_P(PrimeDegrees, ToyAttackTest, testing::Values(11, 13, 17, 23),
                         testing::PrintToStringParamName());

TEST(ToyAttackRefusalTest, FormsOfAnotherStructureHaveNoRelations) {
  const std::size_t n = 13;
  std::mt19937 rng(5);
  std::vector<std::uint8_t> stored(n * (n + 1) * (n + 1));
  for (auto& e : stored) e = static_cast<std::uint8_t>(rng() % 3);
  const gf3mq::PublicForms forms(stored.data(), n);
  gf3mq::Relations relations;
  gf3mq::RelationsReport report;
  EXPECT_FALSE(gf3mq::relations_from_public_forms(forms, relations, {}, &report));
  EXPECT_NE(report.failure.find("does not have the structure of X^30"), std::string::npos) << report.failure;
}

TEST(ToyAttackRefusalTest, FormsWithMoreRelationsThanAKeyOfThisSchemeEndTheSearchSoon) {
  // n = 31 starts with a set of 10 indices; the pairs of the first 10 span.
  const std::size_t n = 31;
  const std::vector<std::uint8_t> stored = monomial_forms(n, 10, 4);
  const gf3mq::PublicForms forms(stored.data(), n);
  gf3mq::Relations relations;
  gf3mq::RelationsReport report;
  std::vector<std::size_t> sizes;  // the set of every elimination
  int ends = 0;                    // and the ends it reports
  EXPECT_FALSE(gf3mq::relations_from_public_forms(
      forms, relations,
      [&](const char* phase, double done) {
        if (std::string(phase) == "elimination" && done == 0) sizes.push_back(sizes.size());
        if (std::string(phase) == "elimination" && done >= 1) ++ends;
      },
      &report));
  EXPECT_NE(report.failure.find("this public key has more relations than a key of this scheme"), std::string::npos)
      << report.failure;
  // Far more than n (195, not 31) with the first set: no larger one is tried.
  EXPECT_NE(report.failure.find("leave 195 relations with a set of 10 indices"), std::string::npos) << report.failure;
  EXPECT_EQ(sizes.size(), 1u);
  EXPECT_EQ(ends, 1) << "the elimination ends once, after the rows beyond those the rank needs";
}

// Relations whose equations in x, once c is known, are rows of b = -d (a
// and g zero), and stored forms of n = 4 variables with form 0 = x_0 + x_2.
struct HandMadeSystem {
  static constexpr std::size_t n = 4;
  gf3mq::Relations relations{n, std::vector<gf3mq::PackedMatrix>(n, gf3mq::PackedMatrix(n, n)),
                             gf3mq::PackedMatrix(n, n), gf3mq::PackedMatrix(n, n), std::vector<std::uint8_t>(n, 0)};
  std::vector<std::uint8_t> stored = std::vector<std::uint8_t>(n * (n + 1) * (n + 1), 0);

  HandMadeSystem(std::initializer_list<std::vector<unsigned>> equations, bool linear_form) {
    std::size_t k = 0;
    for (const std::vector<unsigned>& row : equations) {
      for (std::size_t u = 0; u < n; ++u) relations.b.set(k, u, row[u]);
      ++k;
    }
    if (linear_form) stored[n * (n + 1) + 0] = stored[n * (n + 1) + 2] = 1;
  }
};

using Points = gf3mq::Plaintexts;

TEST(RecoverPlaintextTest, OnlyAPointOverOneAndTwoIsAPlaintext) {
  // x_0 = x_1 = x_2 = x_3 and forms of zeros: the line's three points all
  // encrypt to 0; the point 0 is no plaintext, all 1s and all 2s are, so
  // the ciphertext is ambiguous.
  const HandMadeSystem system({{1, 2, 0, 0}, {0, 1, 2, 0}, {0, 0, 1, 2}}, false);
  const gf3mq::PublicForms forms(system.stored.data(), system.n);
  const std::uint8_t c[4] = {0, 0, 0, 0};
  gf3mq::PlaintextRecovery recovery(system.relations, forms);
  EXPECT_EQ(recovery.recover(c), (Points{{1, 1, 1, 1}, {2, 2, 2, 2}}));
}

TEST(RecoverPlaintextTest, EveryPointOfAPlaneOfSolutionsIsTried) {
  // x_0 = x_1 and x_2 = x_3: the points (a, a, b, b) of a plane. With form 0
  // = x_0 + x_2, the ciphertext 0 comes from a != b only: (2, 2, 1, 1) and
  // (1, 1, 2, 2), in the order of the plane's points.
  const HandMadeSystem system({{1, 2, 0, 0}, {0, 0, 1, 2}}, true);
  const gf3mq::PublicForms forms(system.stored.data(), system.n);
  gf3mq::PlaintextRecovery recovery(system.relations, forms);
  const std::uint8_t c[4] = {0, 0, 0, 0};
  EXPECT_EQ(recovery.recover(c), (Points{{2, 2, 1, 1}, {1, 1, 2, 2}}));
  // The ciphertext 1 comes from a = b = 2 alone, 2 from a = b = 1.
  const std::uint8_t c1[4] = {1, 0, 0, 0}, c2[4] = {2, 0, 0, 0};
  EXPECT_EQ(recovery.recover(c1), (Points{{2, 2, 2, 2}}));
  EXPECT_EQ(recovery.recover(c2), (Points{{1, 1, 1, 1}}));
  // No point gives a ciphertext with another element set.
  const std::uint8_t none[4] = {0, 1, 0, 0};
  EXPECT_EQ(recovery.recover(none), Points{});
}

class RelationsFileTest : public testing::Test {
 protected:
  // The relations of a toy key of n variables, saved to "rel.txt" and
  // loaded back into `loaded`.
  void save_and_load_relations_of_toy_key(std::size_t n, std::uint64_t seed) {
    const ToyKey key = make_toy_key(n, seed);
    const gf3mq::PublicForms forms(key.stored.data(), n);
    ASSERT_TRUE(gf3mq::relations_from_public_forms(forms, relations));
    digest = gf3mq::public_key_digest(key.stored.data(), key.stored.size());
    ASSERT_TRUE(gf3mq::save_relations("rel.txt", relations, digest, &problem)) << problem.message();
    ASSERT_TRUE(gf3mq::load_relations("rel.txt", n, digest, loaded, &problem)) << problem.message();
    ASSERT_EQ(text_of(flattened(loaded)), text_of(flattened(relations)));
  }
  ScratchDir dir;
  gf3mq::Relations relations, loaded;
  std::uint64_t digest = 0;
  gf3mq::FileProblem problem;
};

TEST_F(RelationsFileTest, SavedRelationsLoadOnlyForTheirOwnKey) {
  const std::size_t n = 13;
  ASSERT_NO_FATAL_FAILURE(save_and_load_relations_of_toy_key(n, 9));
  EXPECT_EQ(list_dir("."), std::vector<std::string>{"rel.txt"});

  EXPECT_FALSE(gf3mq::load_relations("rel.txt", n, digest + 1, loaded, &problem));
  EXPECT_EQ(problem.message(), "\"rel.txt\" holds relations made for another public key");
  const std::string good = read_file("rel.txt");
  write_file("rel.txt", good.substr(0, good.size() - 1));
  EXPECT_FALSE(gf3mq::load_relations("rel.txt", n, digest, loaded, &problem));
  EXPECT_EQ(problem.problem, "is too short");
  // A bad character among the words of a (read eight at a time) and in d.
  for (std::size_t at : {good.find('\n') + 100, good.find('\n') + 101, good.size() - 5}) {
    for (char c : {'3', '7', 'x'}) {
      std::string bad = good;
      bad[at] = c;
      write_file("rel.txt", bad);
      EXPECT_FALSE(gf3mq::load_relations("rel.txt", n, digest, loaded, &problem)) << at << c;
      EXPECT_EQ(problem.problem, "holds a character other than 0, 1 or 2");
    }
  }
  // Every refusal left the relations read before as they were.
  EXPECT_EQ(text_of(flattened(loaded)), text_of(flattened(relations)));
  write_file("rel.txt", "hello");
  EXPECT_FALSE(gf3mq::load_relations("rel.txt", n, digest, loaded, &problem));
  EXPECT_EQ(problem.problem, "does not hold relations of this system");
  EXPECT_FALSE(gf3mq::load_relations("missing.txt", n, digest, loaded, &problem));
  EXPECT_NE(problem.problem.find("cannot be opened"), std::string::npos);
}

TEST_F(RelationsFileTest, AFileThatShrinksOrGrowsWhileItIsReadIsRefusedNotASignal) {
  // Another user truncates the file past its first page, or lengthens it,
  // right after its size was checked. In a child: a mapped file would end
  // the process with SIGBUS.
  const std::size_t n = 17;
  ASSERT_NO_FATAL_FAILURE(save_and_load_relations_of_toy_key(n, 10));
  const std::string good = read_file("rel.txt");
  for (const std::size_t size : {std::size_t{100}, good.size() + 1}) {
    const auto change = [&] { ASSERT_EQ(truncate("rel.txt", static_cast<off_t>(size)), 0); };
    const auto load = [&] { return gf3mq::load_relations("rel.txt", n, digest, loaded, &problem, change); };
    EXPECT_EXIT(std::exit(load() ? 0 : (std::fputs(problem.message().c_str(), stderr), 1)), testing::ExitedWithCode(1),
                "^\"rel\\.txt\" changed while it was read: it held [0-9]+ bytes when opened")
        << size;
    write_file("rel.txt", good);
  }
}

TEST_F(RelationsFileTest, AnythingButADigitInAnEightDigitBlockIsRefused) {
  // At n = 17 every row of a, b and g has two whole blocks of eight digits,
  // which are read eight at a time, and one digit after them.
  const std::size_t n = 17;
  ASSERT_NO_FATAL_FAILURE(save_and_load_relations_of_toy_key(n, 10));
  const std::string expected = text_of(flattened(relations));
  const std::string good = read_file("rel.txt");
  const std::size_t digits = good.find('\n') + 1;
  // Where blocks begin: the first and the second block of rows of a (the
  // first relation's first row, a middle one), of b and of g (its last row).
  const std::size_t a_part = digits, b_part = a_part + n * n * n, g_part = b_part + n * n;
  for (std::size_t block : {a_part, a_part + 5 * n * n + 3 * n + 8, b_part + 2 * n, g_part + (n - 1) * n + 8}) {
    for (std::size_t place = 0; place < 8; ++place) {
      for (char c : {'3', '4', '9', 'A', '\0'}) {
        std::string bad = good;
        bad[block + place] = c;
        std::remove("rel.txt");  // a new file: rewriting one in place waits for the disk on some file systems
        write_file("rel.txt", bad);
        problem = {};
        EXPECT_FALSE(gf3mq::load_relations("rel.txt", n, digest, loaded, &problem))
            << "at " << block - digits << " + " << place << ": " << int{c};
        EXPECT_EQ(problem.message(), "\"rel.txt\" holds a character other than 0, 1 or 2");
      }
    }
  }
  EXPECT_EQ(text_of(flattened(loaded)), expected);  // every refusal left them as they were
}

}  // namespace
