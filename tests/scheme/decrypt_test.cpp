// Decryption against secret maps made here (no key generation needed): the
// message is one candidate, the candidates sum to B_Inv V2, refusals touch
// nothing and every missing or damaged secret file is named.
#include "scheme/decrypt.h"

#include <gtest/gtest.h>

#include <random>

#include "scheme/affine_map.h"
#include "scheme/encrypt_batch.h"
#include "scheme/key_files.h"
#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

class DecryptTest : public testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    std::mt19937 rng(31);
    mat_A = random_invertible(rng, 257);
    mat_B = random_invertible(rng, 257);
    V1 = random_vector(rng, 257);
    V2 = random_vector(rng, 257);
    A_Inv = inverse(mat_A);
    B_Inv = inverse(mat_B);
    ASSERT_TRUE(A_Inv.save("new Inv_A.txt") && B_Inv.save("new Inv_B.txt") && V1.save("new V1.txt") &&
                V2.save("new V2.txt"));
    write_tables_here(GetParam());
  }
  const Mat_ZZ_p& table() const { return reduction_table_of(GetParam()); }

  // A plaintext over {1, 2} and its ciphertext with sk = 0.
  Vec_ZZ_p random_message(std::mt19937& rng) {
    Vec_ZZ_p x(257);
    for (int i = 0; i < 257; ++i) x.set(i, static_cast<unsigned char>(1 + rng() % 2));
    return x;
  }

  ScratchDir dir;
  Mat_ZZ_p mat_A{1, 1}, mat_B{1, 1}, A_Inv{1, 1}, B_Inv{1, 1};
  Vec_ZZ_p V1{1}, V2{1};
  unsigned char sk[257] = {};
};

TEST_P(DecryptTest, MessageIsOneCandidateAndCandidatesSumToBInvV2) {
  std::mt19937 rng(8);
  const Vec_ZZ_p sum_expected = B_Inv * V2;
  for (int trial = 0; trial < 4; ++trial) {
    const Vec_ZZ_p x = random_message(rng);
    const Vec_ZZ_p y = public_map(mat_A, V1, mat_B, V2, x, table());
    unsigned char m[514];
    std::uint64_t mlen = 0;
    ASSERT_EQ(decrypt(sk, y.data(), 257, m, &mlen), 0);
    EXPECT_EQ(mlen, 514u);
    const bool first = std::equal(m, m + 257, x.data()), second = std::equal(m + 257, m + 514, x.data());
    EXPECT_TRUE(first || second);
    for (int i = 0; i < 257; ++i) ASSERT_EQ((m[i] + m[257 + i]) % 3, sum_expected[i]);

    std::vector<Vec_ZZ_p> out(1, Vec_ZZ_p(3));
    const ByteList sk_list(257, 0);
    ASSERT_EQ(decrypt_vec(y, sk_list, A_Inv, V1, B_Inv, V2, table(), out), 0);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_TRUE(std::equal(m, m + 257, out[1].data()));
    EXPECT_TRUE(std::equal(m + 257, m + 514, out[2].data()));
  }
  // decrypt_vec takes the table's rows as they are, as central_map_root does.
  Mat_ZZ_p altered = table();
  altered.set(400, 7, static_cast<unsigned char>(altered.get(400, 7) + 1));
  const Vec_ZZ_p c = public_map(mat_A, V1, mat_B, V2, random_message(rng), table()), y = A_Inv * (c - V1);
  std::vector<Vec_ZZ_p> out;
  decrypt_vec(c, ByteList(257, 0), A_Inv, V1, B_Inv, V2, altered, out);
  FieldElem Y;
  std::copy_n(y.data(), 257, Y.coef);
  Vec_ZZ_p root(257);
  std::copy_n(central_map_root(Y, altered).coef, 257, root.data());
  EXPECT_EQ(text(out.at(0)), text(B_Inv * (root - V2)));
}

TEST_P(DecryptTest, SecretKeyCorrectionIsAddedFirst) {
  std::mt19937 rng(9);
  const Vec_ZZ_p x = random_message(rng);
  const Vec_ZZ_p y = public_map(mat_A, V1, mat_B, V2, x, table());
  unsigned char c[257];
  for (int i = 0; i < 257; ++i) {
    sk[i] = static_cast<unsigned char>(rng() % 3);
    c[i] = static_cast<unsigned char>((y[i] + 3 - sk[i]) % 3);
  }
  unsigned char m[514];
  std::uint64_t mlen = 0;
  ASSERT_EQ(decrypt(sk, c, 257, m, &mlen), 0);
  EXPECT_TRUE(std::equal(m, m + 257, x.data()) || std::equal(m + 257, m + 514, x.data()));
}

TEST_P(DecryptTest, ZeroCentralValueGivesEqualCandidates) {
  unsigned char m[514];
  std::uint64_t mlen = 0;
  ASSERT_EQ(decrypt(sk, V1.data(), 257, m, &mlen), 0);  // A_Inv (V1 - V1) = 0
  EXPECT_TRUE(std::equal(m, m + 257, m + 257));
}

INSTANTIATE_TEST_SUITE_P(TwoPolynomials, DecryptTest, testing::Values(kPolyA, kPolyB));

class DecryptRefusalTest : public DecryptTest {};

TEST_P(DecryptRefusalTest, BadArgumentsTouchNothing) {
  unsigned char c[257] = {}, m[514];
  std::fill_n(m, 514, 9);
  std::uint64_t mlen = 5;
  for (std::uint64_t bad : {256ull, 258ull, 257ull + (1ull << 32)}) EXPECT_EQ(decrypt(sk, c, bad, m, &mlen), -1);
  EXPECT_EQ(decrypt(nullptr, c, 257, m, &mlen), -1);
  EXPECT_EQ(decrypt(sk, nullptr, 257, m, &mlen), -1);
  EXPECT_EQ(decrypt(sk, c, 257, nullptr, &mlen), -1);
  EXPECT_EQ(decrypt(sk, c, 257, m, nullptr), -1);
  EXPECT_EQ(mlen, 5u);
  EXPECT_TRUE(std::all_of(m, m + 514, [](unsigned char b) { return b == 9; }));
}

TEST_P(DecryptRefusalTest, EachMissingShortOrCorruptFileIsNamed) {
  for (const char* name : {"new Inv_A.txt", "new Inv_B.txt", "new V1.txt", "new V2.txt", "new Xe_mod_Irredfx.txt"}) {
    const std::string good = read_file(name);
    std::string corrupt = good;
    corrupt[6] = 'a';
    for (const std::string& damaged : {std::string(), good.substr(0, good.size() / 2), corrupt}) {
      if (damaged.empty()) {
        std::remove(name);
      } else {
        write_file(name, damaged);
      }
      unsigned char c[257] = {}, m[514];
      std::fill_n(m, 514, 9);
      std::uint64_t mlen = 5;
      gf3mq::FileProblem problem;
      EXPECT_EQ(decrypt(sk, c, 257, m, &mlen, &problem), -1) << name;
      EXPECT_EQ(problem.file, name);
      EXPECT_EQ(mlen, 5u);
      EXPECT_EQ(m[0], 9);
    }
    write_file(name, good);
  }
}

TEST_P(DecryptRefusalTest, AffineMapsInvertEachOther) {
  std::mt19937 rng(12);
  const Vec_ZZ_p x = random_vector(rng, 257);
  const Vec_ZZ_p back = affine_inverse(B_Inv, affine_apply(mat_B, x, V2), V2);
  EXPECT_TRUE(std::equal(x.data(), x.data() + 257, back.data()));
}

INSTANTIATE_TEST_SUITE_P(OnePolynomial, DecryptRefusalTest, testing::Values(kPolyA));

// Under a public key of zeros every plaintext encrypts to 0, so which
// candidate is the message depends on the rule alone: the first one over
// {1, 2}, none where both hold a 0, one message where both are the same.
// Many ciphertexts at once (the batch route) give what one at a time gives.
TEST(MessageIndexTest, TheCandidateOverOneAndTwoThatEncryptsBackIsTheMessageAndBothAreAmbiguous) {
  const std::vector<unsigned char> pk(gf3mq::kPublicKeyBytes, 0);
  const std::vector<unsigned char> ones(257, 1), twos(257, 2);
  std::vector<unsigned char> with_zero(257, 2);
  with_zero[100] = 0;
  const std::vector<std::pair<std::vector<unsigned char>, std::vector<unsigned char>>> pairs = {
      {ones, twos}, {with_zero, ones}, {with_zero, with_zero}, {twos, with_zero}, {twos, twos}};
  // Under the zero key every plaintext over {1, 2} encrypts to 0.
  const int expected_for_pair[] = {gf3mq::kAmbiguousMessage, 1, gf3mq::kNoMessage, 0, 0};
  const std::size_t count = gf3mq::kBatchWorthwhile + 4;  // enough for the batch route
  std::vector<unsigned char> c(count * 257, 0), m;
  std::vector<int> expected;
  for (std::size_t t = 0; t < count; ++t) {
    const auto& [first, second] = pairs[t % pairs.size()];
    m.insert(m.end(), first.begin(), first.end());
    m.insert(m.end(), second.begin(), second.end());
    expected.push_back(expected_for_pair[t % pairs.size()]);
    EXPECT_EQ(gf3mq::message_index(gf3mq::kDefaultSizes, pk.data(), &c[t * 257], &m[t * 514]), expected.back()) << t;
  }
  std::vector<int> got(count, 7);
  gf3mq::message_indices(gf3mq::kDefaultSizes, pk.data(), c.data(), m.data(), count, got.data());
  EXPECT_EQ(got, expected);
}

}  // namespace
