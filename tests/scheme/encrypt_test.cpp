// Encryption on the flat buffers: argument refusals, which entries of a form
// matter, known answers, and agreement with a term-by-term evaluation and with
// the list form.
#include "scheme/encrypt.h"

#include <gtest/gtest.h>

#include <clocale>
#include <random>

#include "scheme/key_files.h"
#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;
using gf3mq::kFormBytes;
using gf3mq::kPublicKeyBytes;

// The definition, one term at a time, reducing after every term.
std::vector<unsigned char> reference_encrypt(const std::vector<unsigned char>& pk, const unsigned char* m) {
  std::vector<unsigned char> c(257);
  for (int i = 0; i < 257; ++i) {
    int s = 0;
    for (int j = 0; j <= 256; ++j) {
      for (int k = j + 1; k <= 256; ++k) s = (s + pk[i * kFormBytes + k * 258 + j] * m[j] * m[k]) % 3;
      s = (s + pk[i * kFormBytes + 66306 + j] * m[j]) % 3;
    }
    c[i] = static_cast<unsigned char>(s);
  }
  return c;
}

class EncryptTest : public testing::Test {
 protected:
  void SetUp() override {
    std::mt19937 rng(99);
    const auto values = random_elements(rng, kPublicKeyBytes);
    pk.assign(values.begin(), values.end());
    for (int i = 0; i < 257; ++i) m[i] = static_cast<unsigned char>(1 + rng() % 2);
  }
  std::vector<unsigned char> ciphertext() {
    std::vector<unsigned char> c(257);
    std::uint64_t clen = 0;
    EXPECT_EQ(encrypt(pk.data(), m, 257, c.data(), &clen), 0);
    EXPECT_EQ(clen, 257u);
    return c;
  }
  std::vector<unsigned char> pk;
  unsigned char m[257];
};

TEST_F(EncryptTest, AgreesWithTermByTermEvaluation) {
  EXPECT_EQ(ciphertext(), reference_encrypt(pk, m));
  std::mt19937 rng(5);
  for (auto& b : pk) b = static_cast<unsigned char>(rng());  // bytes of any value
  for (auto& x : m) x = static_cast<unsigned char>(rng());
  EXPECT_EQ(ciphertext(), reference_encrypt(pk, m));
}

TEST_F(EncryptTest, RefusesBadArgumentsTouchingNothing) {
  unsigned char c[257];
  std::fill_n(c, 257, 7);
  std::uint64_t clen = 99;
  for (std::uint64_t bad : {256ull, 258ull, 257ull + (1ull << 32), 0ull}) {
    EXPECT_EQ(encrypt(pk.data(), m, bad, c, &clen), -1);
  }
  EXPECT_EQ(encrypt(nullptr, m, 257, c, &clen), -1);
  EXPECT_EQ(encrypt(pk.data(), nullptr, 257, c, &clen), -1);
  EXPECT_EQ(encrypt(pk.data(), m, 257, nullptr, &clen), -1);
  EXPECT_EQ(encrypt(pk.data(), m, 257, c, nullptr), -1);
  EXPECT_EQ(clen, 99u);
  EXPECT_TRUE(std::all_of(c, c + 257, [](unsigned char b) { return b == 7; }));
}

TEST_F(EncryptTest, DiagonalUpperTriangleColumn257AndCornerAreNeverRead) {
  const std::vector<unsigned char> before = ciphertext();
  for (int i = 0; i < 257; ++i) {
    unsigned char* form = pk.data() + static_cast<std::size_t>(i) * kFormBytes;
    for (int r = 0; r < 258; ++r) {
      form[r * 258 + r] = 2;    // diagonal, including the corner
      form[r * 258 + 257] = 1;  // column 257
      for (int c = r + 1; c < 258; ++c) form[r * 258 + c] = static_cast<unsigned char>((r + c) % 3);
    }
  }
  EXPECT_EQ(ciphertext(), before);
}

TEST_F(EncryptTest, KnownAnswers) {
  std::fill_n(m, 257, 0);
  EXPECT_EQ(ciphertext(), std::vector<unsigned char>(257, 0));
  m[40] = 2;
  const std::vector<unsigned char> c = ciphertext();
  for (int i = 0; i < 257; ++i) ASSERT_EQ(c[i], pk[i * kFormBytes + 66306 + 40] * 2 % 3) << i;
}

TEST_F(EncryptTest, ListFormAgreesAndPrintsTheCaption) {
  FormList polys;
  for (int i = 0; i < 257; ++i) {
    Mat_ZZ_p form(258, 258);
    std::copy_n(pk.data() + static_cast<std::size_t>(i) * kFormBytes, kFormBytes, form.data());
    polys.push_back(std::move(form));
  }
  Vec_ZZ_p x(257);
  std::copy_n(m, 257, x.data());
  testing::internal::CaptureStdout();
  const Vec_ZZ_p chiper = encrypt_vec(x, polys);
  const std::string printed = testing::internal::GetCapturedStdout();
  const std::vector<unsigned char> c = ciphertext();
  EXPECT_TRUE(std::equal(c.begin(), c.end(), chiper.data()));
  std::string expected = "\xB2\xFA\xC9\xFA\xB5\xC4\xC3\xDC\xCE\xC4\xCE\xAA\xA3\xBA\n";  // "产生的密文为：" in GBK
  for (unsigned char v : c) expected += std::to_string(v) + " ";
  EXPECT_EQ(printed, expected);
  // In a UTF-8 locale the caption is UTF-8; everything after it is the same.
  if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale here";
  testing::internal::CaptureStdout();
  encrypt_vec(x, polys);
  const std::string in_utf8 = testing::internal::GetCapturedStdout();
  std::setlocale(LC_CTYPE, "C");
  EXPECT_EQ(in_utf8, "产生的密文为：\n" + expected.substr(expected.find('\n') + 1));
}

}  // namespace
