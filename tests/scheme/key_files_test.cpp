// Key files: the flat and structured readers accept whitespace, return the
// first of stacked keys and refuse missing, short or corrupt files without
// leaving half a key; the writers produce what the readers consume.
#include "scheme/key_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <random>

#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;
using gf3mq::kPublicKeyBytes;

std::string digits_of(const std::vector<std::uint8_t>& values) {
  std::string text(values.size(), '0');
  for (std::size_t i = 0; i < values.size(); ++i) text[i] = static_cast<char>('0' + values[i]);
  return text;
}

class KeyFileTest : public testing::Test {
 protected:
  void SetUp() override {
    std::mt19937 rng(77);
    pk_values = random_elements(rng, kPublicKeyBytes);
    sk_values = random_elements(rng, 257);
  }
  ScratchDir dir;
  std::vector<std::uint8_t> pk_values, sk_values;
  std::vector<unsigned char> pk = std::vector<unsigned char>(kPublicKeyBytes, 9);
  unsigned char sk[257] = {};
};

TEST_F(KeyFileTest, FlatReadersTakeTheDigitsWithOrWithoutWhitespace) {
  write_file("new pk.txt", digits_of(pk_values));
  ASSERT_EQ(read_pk("new pk.txt", pk.data()), 1);
  EXPECT_TRUE(std::equal(pk.begin(), pk.end(), pk_values.begin()));
  std::string spaced;
  for (std::size_t i = 0; i < 257; ++i)
    spaced += std::string(1, static_cast<char>('0' + sk_values[i])) + (i % 10 ? " " : "\n");
  write_file("new sk.txt", spaced);
  ASSERT_EQ(read_sk("new sk.txt", sk), 1);
  EXPECT_TRUE(std::equal(sk, sk + 257, sk_values.begin()));
}

TEST_F(KeyFileTest, StackedFilesYieldTheFirstKey) {
  std::string twice = digits_of(pk_values);
  twice += std::string(kPublicKeyBytes, '2');
  write_file("new pk.txt", twice);
  ASSERT_EQ(read_pk("new pk.txt", pk.data()), 1);
  EXPECT_TRUE(std::equal(pk.begin(), pk.end(), pk_values.begin()));
  write_file("new sk.txt", digits_of(sk_values) + std::string(257, '1'));
  ASSERT_EQ(read_sk("new sk.txt", sk), 1);
  EXPECT_TRUE(std::equal(sk, sk + 257, sk_values.begin()));
}

TEST_F(KeyFileTest, FlatReadersRefuseDamagedFilesAndZeroTheBuffer) {
  gf3mq::FileProblem problem;
  EXPECT_EQ(read_pk("new pk.txt", pk.data(), &problem), 0);
  EXPECT_EQ(problem.file, "new pk.txt");
  EXPECT_TRUE(std::all_of(pk.begin(), pk.end(), [](unsigned char b) { return b == 0; }));

  std::string text = digits_of(pk_values);
  write_file("new pk.txt", text.substr(0, text.size() - 3));
  std::fill(pk.begin(), pk.end(), 9);
  EXPECT_EQ(read_pk("new pk.txt", pk.data(), &problem), 0);
  EXPECT_EQ(problem.problem, "is too short: it holds 17106945 of 17106948 digits");
  EXPECT_TRUE(std::all_of(pk.begin(), pk.end(), [](unsigned char b) { return b == 0; }));

  text[5000] = '3';
  write_file("new pk.txt", text);
  EXPECT_EQ(read_pk("new pk.txt", pk.data(), &problem), 0);
  EXPECT_NE(problem.problem.find("byte 0x33"), std::string::npos);

  write_file("new sk.txt", digits_of(sk_values).substr(0, 256) + "x");
  std::fill(sk, sk + 257, 7);
  EXPECT_EQ(read_sk("new sk.txt", sk, &problem), 0);
  EXPECT_TRUE(std::all_of(sk, sk + 257, [](unsigned char b) { return b == 0; }));
  EXPECT_EQ(read_pk(nullptr, pk.data()), 0);
  EXPECT_EQ(read_sk("new sk.txt", nullptr), 0);
}

TEST(KeyFileSizeTest, OnlyAFileOfAnotherLengthIsToldTheNItWasMeasuredAgainst) {
  ScratchDir dir;
  std::uint8_t out[7];
  gf3mq::FileProblem problem;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"12012011", "holds more than its 7 digits (n = 7, as \"T\" has it)"},
      {"120120", "is too short: it holds 6 of 7 digits (n = 7, as \"T\" has it)"},
      {"1201201x", "holds the byte 0x78 after its 7 digits"},
      {"12x", "holds a character other than 0, 1 or 2 (byte 0x78) after 2 digits"}};
  for (const auto& [text, expected] : cases) {
    write_file("V", text);
    EXPECT_FALSE(gf3mq::read_key_file(gf3mq::Sizes{7}, "V", out, 7, &problem, "T"));
    EXPECT_EQ(problem.message(), "\"V\" " + expected);
  }
  // At 257 the first digits are read, and the secret key is told in read_sk's words, never half read.
  std::uint8_t sk[257];
  for (const auto& [name, note] : {std::pair{"new sk.txt", ""}, {"V", " (n = 257, as \"T\" has it)"}}) {
    write_file(name, std::string(256, '1'));
    EXPECT_FALSE(gf3mq::read_key_file(gf3mq::kDefaultSizes, name, sk, 257, &problem, "T"));
    EXPECT_EQ(problem.problem + "|" + std::to_string(sk[0]),
              "is too short: it holds 256 of 257 digits" + std::string(note) + "|0");
    write_file(name, std::string(258, '1'));
    EXPECT_TRUE(gf3mq::read_key_file(gf3mq::kDefaultSizes, name, sk, 257, &problem, "T"));
  }
}

TEST_F(KeyFileTest, WritersAndStructuredReadersAgree) {
  FormList PK;
  for (int m = 0; m < 257; ++m) {
    Mat_ZZ_p form(258, 258);
    std::copy_n(pk_values.data() + static_cast<std::size_t>(m) * 66564, 66564, form.data());
    PK.push_back(std::move(form));
  }
  const ByteList SK(sk_values.begin(), sk_values.end());
  ASSERT_EQ(write_pk("new pk.txt", PK), 1);
  ASSERT_EQ(write_sk("new sk.txt", SK), 1);
  EXPECT_TRUE(read_file("new pk.txt") == digits_of(pk_values));
  EXPECT_EQ(read_file("new sk.txt").size(), 257u);

  FormList loaded(1, Mat_ZZ_p(2, 2));  // the readers append
  ASSERT_EQ(read_pk_matrices("new pk.txt", loaded), 1);
  ASSERT_EQ(loaded.size(), 258u);
  for (int m = 0; m < 257; ++m) ASSERT_TRUE(std::equal(PK[m].data(), PK[m].data() + 66564, loaded[m + 1].data()));
  ByteList sk_loaded{5};
  ASSERT_EQ(read_sk_vector("new sk.txt", sk_loaded), 1);
  ASSERT_EQ(sk_loaded.size(), 258u);
  EXPECT_TRUE(std::equal(SK.begin(), SK.end(), sk_loaded.begin() + 1));

  ASSERT_EQ(write_pk("new pk.txt", PK), 1);  // a second write appends
  EXPECT_EQ(read_file("new pk.txt").size(), 2 * kPublicKeyBytes);
  ASSERT_EQ(read_pk("new pk.txt", pk.data()), 1);
  EXPECT_TRUE(std::equal(pk.begin(), pk.end(), pk_values.begin()));
  EXPECT_EQ(write_pk("no-such-folder/new pk.txt", PK), 0);
  EXPECT_EQ(write_sk("no-such-folder/new sk.txt", SK), 0);
}

TEST(KeyFileWriterTest, NewFilesAreClosedAsTheirContentAsksAndNoLinkIsFollowed) {
  ScratchDir dir;
  const mode_t mask = umask(0);  // the modes the writers ask for, unmasked
  const FormList PK(1, Mat_ZZ_p(2, 2));
  const ByteList SK(3, 1);
  const std::vector<std::pair<std::function<bool(const char*)>, mode_t>> writers = {
      {[&](const char* name) { return write_sk(name, SK) == 1; }, 0600},
      {[&](const char* name) { return write_pk(name, PK) == 1; }, 0644},
      {[](const char* name) { return Mat_ZZ_p(2, 2).save(name); }, 0600},
      {[](const char* name) { return Vec_ZZ_p(2).save(name); }, 0600}};
  write_file("private.txt", "kept");
  for (std::size_t i = 0; i < writers.size(); ++i) {
    const std::string made = "made" + std::to_string(i), link = "link" + std::to_string(i);
    ASSERT_TRUE(writers[i].first(made.c_str())) << i;
    struct stat info {};
    ASSERT_EQ(stat(made.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, writers[i].second) << i;
    ASSERT_EQ(symlink("private.txt", link.c_str()), 0);
    EXPECT_FALSE(writers[i].first(link.c_str())) << i;
  }
  umask(mask);
  EXPECT_EQ(read_file("private.txt"), "kept");
}

TEST_F(KeyFileTest, StructuredReadersAppendNothingOnFailure) {
  FormList PK;
  ByteList SK;
  gf3mq::FileProblem problem;
  EXPECT_EQ(read_pk_matrices("new pk.txt", PK, &problem), 0);
  EXPECT_EQ(problem.file, "new pk.txt");
  write_file("new pk.txt", std::string(1000, '1'));
  EXPECT_EQ(read_pk_matrices("new pk.txt", PK), 0);
  write_file("new sk.txt", std::string(256, '1') + "3");
  EXPECT_EQ(read_sk_vector("new sk.txt", SK, &problem), 0);
  EXPECT_NE(problem.problem.find("other than 0, 1 or 2"), std::string::npos);
  EXPECT_TRUE(PK.empty());
  EXPECT_TRUE(SK.empty());
}

}  // namespace
