// Key generation end to end in scratch folders: the eight files, their modes
// and layout, the public map against the secret composition, replacement of
// an old key set, and refusals that write nothing (the pinned output is in
// known_answers.txt).
#include "scheme/keygen.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <random>

#include "field/field_tables.h"
#include "scheme/decrypt.h"
#include "scheme/encrypt.h"
#include "scheme/encrypt_batch.h"
#include "scheme/key_files.h"
#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;
using gf3mq::kFormBytes;
using gf3mq::kPublicKeyBytes;

const std::vector<std::string> kKeyFiles = {"new Inv_A.txt", "new Inv_B.txt", "new Mat_A.txt", "new Mat_B.txt",
                                            "new V1.txt",    "new V2.txt",    "new pk.txt",    "new sk.txt"};
const std::vector<std::string> kTableFiles = {"new X_27i_mod_Irredfx.txt", "new Xe_mod_Irredfx.txt"};

struct Buffers {
  std::unique_ptr<unsigned char[]> pk{new unsigned char[kPublicKeyBytes]};
  std::unique_ptr<unsigned char[]> sk{new unsigned char[257]};
};

int run_keygen(Buffers& b, std::uint64_t seed, gf3mq::FileProblem* problem = nullptr) {
  gf3mq::SeededGf3Source source(seed);
  return keygen(b.pk.get(), b.sk.get(), source, problem);
}

Mat_ZZ_p load_matrix(const char* name) {
  Mat_ZZ_p m(257, 257);
  EXPECT_TRUE(m.load(name));
  return m;
}

Vec_ZZ_p load_vector(const char* name) {
  Vec_ZZ_p v(257);
  EXPECT_TRUE(v.load(name));
  return v;
}

std::vector<std::string> sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

class KeygenTest : public testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    write_tables_here(GetParam());
    ASSERT_EQ(run_keygen(keys, 5), 0);
  }
  ScratchDir dir;
  Buffers keys;
};

TEST_P(KeygenTest, WritesEightFilesWithSizesModesAndLayout) {
  std::vector<std::string> all = kKeyFiles;
  all.insert(all.end(), kTableFiles.begin(), kTableFiles.end());
  EXPECT_EQ(list_dir("."), sorted(all));
  for (const char* name : {"new Mat_A.txt", "new Mat_B.txt", "new Inv_A.txt", "new Inv_B.txt"})
    EXPECT_EQ(read_file(name).size(), 257u * 257) << name;
  EXPECT_EQ(read_file("new V1.txt").size(), 257u);
  EXPECT_EQ(read_file("new V2.txt").size(), 257u);
  EXPECT_EQ(read_file("new sk.txt").size(), 257u);
  const std::string pk_text = read_file("new pk.txt");
  ASSERT_EQ(pk_text.size(), kPublicKeyBytes);
  for (const std::string& name : kKeyFiles) {
    struct stat info {};
    ASSERT_EQ(stat(name.c_str(), &info), 0);
    const mode_t others = info.st_mode & 077;
    if (name == "new pk.txt") {
      EXPECT_NE(info.st_mode & 0044, 0u) << name;  // public
    } else {
      EXPECT_EQ(others, 0u) << name;  // secret: 0600
    }
  }
  for (std::size_t p = 0; p < kPublicKeyBytes; ++p) ASSERT_EQ(keys.pk[p], pk_text[p] - '0') << p;
  for (int i = 0; i < 257; ++i) {
    const unsigned char* form = keys.pk.get() + static_cast<std::size_t>(i) * kFormBytes;
    for (int r = 0; r < 258; ++r)
      for (int c = r; c < 258; ++c) ASSERT_EQ(form[r * 258 + c], 0) << "form " << i << " (" << r << ", " << c << ")";
  }
  const Mat_ZZ_p mat_A = load_matrix("new Mat_A.txt"), mat_B = load_matrix("new Mat_B.txt");
  EXPECT_FALSE(std::equal(mat_A.data(), mat_A.data() + 257 * 257, mat_B.data()));
  const Mat_ZZ_p A_Inv = load_matrix("new Inv_A.txt");
  for (int c = 0; c < 257; c += 32) {
    const Vec_ZZ_p e = mat_A * [&] {
      Vec_ZZ_p column(257);
      for (int r = 0; r < 257; ++r) column.set(r, A_Inv.get(r, c));
      return column;
    }();
    for (int r = 0; r < 257; ++r) ASSERT_EQ(e[r], r == c ? 1 : 0);
  }
}

TEST_P(KeygenTest, PublicMapIsTheSecretCompositionAndDecrypts) {
  const Mat_ZZ_p mat_A = load_matrix("new Mat_A.txt"), mat_B = load_matrix("new Mat_B.txt");
  const Vec_ZZ_p V1 = load_vector("new V1.txt"), V2 = load_vector("new V2.txt");
  FormList polys;
  ASSERT_EQ(read_pk_matrices("new pk.txt", polys), 1);
  std::mt19937 rng(44);
  for (int trial = 0; trial < 20; ++trial) {
    Vec_ZZ_p x(257);
    for (int j = 0; j < 257; ++j) x.set(j, static_cast<unsigned char>(1 + rng() % 2));
    unsigned char c[257];
    std::uint64_t clen = 0;
    ASSERT_EQ(encrypt(keys.pk.get(), x.data(), 257, c, &clen), 0);
    const Vec_ZZ_p expected = public_map(mat_A, V1, mat_B, V2, x, reduction_table_of(GetParam()));
    for (int i = 0; i < 257; ++i) ASSERT_EQ((c[i] + keys.sk[i]) % 3, expected[i]) << "trial " << trial << " i " << i;
    unsigned char m[514];
    std::uint64_t mlen = 0;
    ASSERT_EQ(decrypt(keys.sk.get(), c, clen, m, &mlen), 0);
    EXPECT_TRUE(std::equal(m, m + 257, x.data()) || std::equal(m + 257, m + 514, x.data()));
    if (trial < 2) {
      testing::internal::CaptureStdout();
      const Vec_ZZ_p listed = encrypt_vec(x, polys);
      testing::internal::GetCapturedStdout();
      EXPECT_TRUE(std::equal(c, c + 257, listed.data()));
    }
  }
}

TEST_P(KeygenTest, ASecondRunReplacesTheWholeSet) {
  std::vector<std::string> before;
  for (const std::string& name : kKeyFiles) before.push_back(read_file(name));
  Buffers second;
  ASSERT_EQ(run_keygen(second, 6), 0);
  for (std::size_t i = 0; i < kKeyFiles.size(); ++i) {
    const std::string now = read_file(kKeyFiles[i]);
    EXPECT_EQ(now.size(), before[i].size()) << kKeyFiles[i];
    EXPECT_FALSE(now == before[i]) << kKeyFiles[i];
  }
  EXPECT_EQ(list_dir(".").size(), 10u);  // no temporaries left
  const std::string pk_text = read_file("new pk.txt");
  for (std::size_t p = 0; p < kPublicKeyBytes; p += 997) ASSERT_EQ(second.pk[p], pk_text[p] - '0');
  unsigned char x[257], c[257], m[514];
  for (int j = 0; j < 257; ++j) x[j] = static_cast<unsigned char>(1 + j % 2);
  std::uint64_t clen = 0, mlen = 0;
  ASSERT_EQ(encrypt(second.pk.get(), x, 257, c, &clen), 0);
  ASSERT_EQ(decrypt(second.sk.get(), c, clen, m, &mlen), 0);
  EXPECT_TRUE(std::equal(m, m + 257, x) || std::equal(m + 257, m + 514, x));
}

TEST_P(KeygenTest, TheMessageIsTheCandidateThatEncryptsBack) {
  std::mt19937 rng(45);
  int seen[2] = {0, 0};
  for (int trial = 0; trial < 12; ++trial) {
    unsigned char x[257], c[257], m[514], swapped[514];
    for (unsigned char& e : x) e = static_cast<unsigned char>(1 + rng() % 2);
    std::uint64_t clen = 0, mlen = 0;
    ASSERT_EQ(encrypt(keys.pk.get(), x, 257, c, &clen), 0);
    ASSERT_EQ(decrypt(keys.sk.get(), c, clen, m, &mlen), 0);
    const int index = gf3mq::message_index(gf3mq::kDefaultSizes, keys.pk.get(), c, m);
    ASSERT_TRUE(index == 0 || index == 1);
    EXPECT_TRUE(std::equal(x, x + 257, m + 257 * index));
    ++seen[index];
    std::copy(m + 257, m + 514, swapped);
    std::copy(m, m + 257, swapped + 257);
    EXPECT_EQ(gf3mq::message_index(gf3mq::kDefaultSizes, keys.pk.get(), c, swapped), 1 - index);
    c[trial] = static_cast<unsigned char>((c[trial] + 1) % 3);  // not this plaintext's ciphertext any more
    EXPECT_EQ(gf3mq::message_index(gf3mq::kDefaultSizes, keys.pk.get(), c, m), -1);
  }
  EXPECT_GT(seen[0], 0);  // both candidates turn out to be the message, depending on the plaintext
  EXPECT_GT(seen[1], 0);
  Buffers other;
  ASSERT_EQ(run_keygen(other, 77), 0);  // the public key of another generation
  unsigned char x[257], c[257], m[514];
  for (unsigned char& e : x) e = 2;
  std::uint64_t clen = 0, mlen = 0;
  ASSERT_EQ(encrypt(other.pk.get(), x, 257, c, &clen), 0);
  ASSERT_EQ(decrypt(other.sk.get(), c, clen, m, &mlen), 0);
  EXPECT_EQ(gf3mq::message_index(gf3mq::kDefaultSizes, keys.pk.get(), c, m), -1);
}

TEST_P(KeygenTest, ManyCiphertextsAtOnceGiveTheIndicesOfOneAtATime) {
  // Messages found as candidate 0 and as candidate 1, the candidates of some
  // swapped, and some ciphertexts changed: one at a time and all at once agree.
  std::mt19937 rng(46);
  const std::size_t count = gf3mq::kBatchWorthwhile + 4;  // the batch route
  std::vector<unsigned char> c(count * 257), m(count * 514);
  std::vector<int> expected(count), got(count, 7);
  for (std::size_t t = 0; t < count; ++t) {
    unsigned char x[257];
    for (unsigned char& e : x) e = static_cast<unsigned char>(1 + rng() % 2);
    std::uint64_t clen = 0, mlen = 0;
    ASSERT_EQ(encrypt(keys.pk.get(), x, 257, &c[t * 257], &clen), 0);
    ASSERT_EQ(decrypt(keys.sk.get(), &c[t * 257], clen, &m[t * 514], &mlen), 0);
    if (t % 3 == 1) std::swap_ranges(&m[t * 514], &m[t * 514 + 257], &m[t * 514 + 257]);
    if (t % 5 == 2) c[t * 257 + t] = static_cast<unsigned char>((c[t * 257 + t] + 1) % 3);
    expected[t] = gf3mq::message_index(gf3mq::kDefaultSizes, keys.pk.get(), &c[t * 257], &m[t * 514]);
  }
  gf3mq::message_indices(gf3mq::kDefaultSizes, keys.pk.get(), c.data(), m.data(), count, got.data());
  EXPECT_EQ(got, expected);
  EXPECT_EQ(std::count(expected.begin(), expected.end(), -1),
            static_cast<std::ptrdiff_t>((count + 2) / 5));                                         // the changed ones
  gf3mq::message_indices(gf3mq::kDefaultSizes, keys.pk.get(), c.data(), m.data(), 3, got.data());  // few: one at a time
  EXPECT_EQ(std::vector<int>(got.begin(), got.begin() + 3), std::vector<int>(expected.begin(), expected.begin() + 3));
}

INSTANTIATE_TEST_SUITE_P(TwoPolynomials, KeygenTest, testing::Values(kPolyA, kPolyB));

TEST(KeygenRefusalTest, NullBuffersChangeNothing) {
  ScratchDir dir;
  write_tables_here(kPolyA);
  unsigned char sk[257];
  EXPECT_EQ(keygen(nullptr, sk), -1);
  std::unique_ptr<unsigned char[]> pk(new unsigned char[kPublicKeyBytes]);
  EXPECT_EQ(keygen(pk.get(), nullptr), -1);
  EXPECT_EQ(keygen(nullptr, nullptr), -1);  // the entry point always fills both
  EXPECT_EQ(list_dir(".").size(), 2u);
}

TEST(KeygenRefusalTest, MissingShortOrCorruptTablesWriteNothing) {
  ScratchDir dir;
  Buffers keys;
  gf3mq::FileProblem problem;
  EXPECT_EQ(run_keygen(keys, 1, &problem), -1);
  EXPECT_EQ(problem.file, "new Xe_mod_Irredfx.txt");
  EXPECT_TRUE(list_dir(".").empty());

  write_tables_here(kPolyA);
  const std::string frobenius = read_file("new X_27i_mod_Irredfx.txt");
  write_file("new X_27i_mod_Irredfx.txt", frobenius.substr(0, 1000));
  EXPECT_EQ(run_keygen(keys, 1, &problem), -1);
  EXPECT_EQ(problem.message(),
            "\"new X_27i_mod_Irredfx.txt\" is too short: it holds 1000 of 66049 digits; no key set was made");
  std::string corrupt = read_file("new Xe_mod_Irredfx.txt");
  corrupt[77] = '8';
  write_file("new Xe_mod_Irredfx.txt", corrupt);
  write_file("new X_27i_mod_Irredfx.txt", frobenius);
  EXPECT_EQ(run_keygen(keys, 1, &problem), -1);
  EXPECT_EQ(problem.file, "new Xe_mod_Irredfx.txt");
  EXPECT_EQ(list_dir(".").size(), 2u);
}

TEST(KeygenRefusalTest, AFileThatCannotBeReplacedLeavesThePreviousSet) {
  ScratchDir dir;
  write_tables_here(kPolyA);
  Buffers keys;
  ASSERT_EQ(run_keygen(keys, 3), 0);
  std::vector<std::string> before;
  for (const std::string& name : kKeyFiles) before.push_back(read_file(name));
  // "new sk.txt" becomes a folder: the last rename cannot happen.
  std::rename("new sk.txt", "sk-saved");
  ASSERT_EQ(mkdir("new sk.txt", 0700), 0);
  gf3mq::FileProblem problem;
  EXPECT_EQ(run_keygen(keys, 4, &problem), -1);
  EXPECT_EQ(problem.file, "new sk.txt");
  for (std::size_t i = 0; i + 1 < kKeyFiles.size(); ++i)
    EXPECT_TRUE(read_file(kKeyFiles[i]) == before[i]) << kKeyFiles[i];
  EXPECT_EQ(list_dir(".").size(), 11u);  // eight key files (one a folder), two tables, the saved sk
}

}  // namespace
