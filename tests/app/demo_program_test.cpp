// The demonstration and key-generation programs, run as a user would in a
// scratch folder: the exact ten-line output and the refusals that name the
// missing or damaged file.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "scheme/encrypt.h"
#include "scheme/key_files.h"
#include "scheme/keygen.h"
#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

const std::string kDemo = program("gf3mq-demo") + " </dev/null";
const std::string kKeygen = program("gf3mq-keygen") + " </dev/null";

// "[a b c]" with exactly n numbers 0..2 separated by single blanks.
std::vector<int> parse_list(const std::string& line, std::size_t n) {
  std::vector<int> values;
  EXPECT_GE(line.size(), 2u);
  if (line.size() < 2 || line.front() != '[' || line.back() != ']') {
    ADD_FAILURE() << "not a bracketed list: " << line.substr(0, 40);
    return values;
  }
  for (std::size_t i = 1; i + 1 < line.size(); i += 2) {
    const char c = line[i];
    EXPECT_TRUE(c >= '0' && c <= '2') << "at " << i;
    values.push_back(c - '0');
    if (i + 2 < line.size()) {
      EXPECT_EQ(line[i + 1], ' ') << "at " << i + 1;
    }
  }
  EXPECT_EQ(values.size(), n);
  return values;
}

class DemoProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    write_tables_here(kPolyB);
    std::unique_ptr<unsigned char[]> pk(new unsigned char[gf3mq::kPublicKeyBytes]);
    unsigned char sk[257];
    gf3mq::SeededGf3Source source(11);
    ASSERT_EQ(keygen(pk.get(), sk, source), 0);
  }
  ScratchDir dir;
};

TEST_F(DemoProgramTest, PrintsTheTenLinesAndOneCandidateIsThePlaintext) {
  const CommandResult run = run_command(kDemo);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const std::vector<std::string> lines = lines_of(run.out);
  ASSERT_EQ(lines.size(), 10u) << run.out.substr(0, 200);
  // Captions in GBK: "随机产生的一组明文为：", "加密产生的密文为：", "相应的两组解密明文为：".
  EXPECT_EQ(lines[0], "\xCB\xE6\xBB\xFA\xB2\xFA\xC9\xFA\xB5\xC4\xD2\xBB\xD7\xE9\xC3\xF7\xCE\xC4\xCE\xAA\xA3\xBA");
  EXPECT_EQ(lines[2], "\xBC\xD3\xC3\xDC\xB2\xFA\xC9\xFA\xB5\xC4\xC3\xDC\xCE\xC4\xCE\xAA\xA3\xBA");
  EXPECT_EQ(lines[4], "");
  EXPECT_EQ(lines[5], "\xCF\xE0\xD3\xA6\xB5\xC4\xC1\xBD\xD7\xE9\xBD\xE2\xC3\xDC\xC3\xF7\xCE\xC4\xCE\xAA\xA3\xBA");
  EXPECT_EQ(lines[8], "514 257");
  EXPECT_EQ(lines[9], "hello world!");
  EXPECT_EQ(run.out.substr(run.out.size() - 13), "\nhello world!");  // no final line break

  const std::vector<int> plaintext = parse_list(lines[1], 257);
  const std::vector<int> ciphertext = parse_list(lines[3], 257);
  const std::vector<int> m1 = parse_list(lines[6], 257), m2 = parse_list(lines[7], 257);
  for (int v : plaintext) ASSERT_TRUE(v == 1 || v == 2);
  EXPECT_TRUE(m1 == plaintext || m2 == plaintext);

  // The printed ciphertext is the encryption of the printed plaintext.
  std::unique_ptr<unsigned char[]> pk(new unsigned char[gf3mq::kPublicKeyBytes]);
  ASSERT_EQ(read_pk("new pk.txt", pk.get()), 1);
  unsigned char m[257], c[257];
  for (int i = 0; i < 257; ++i) m[i] = static_cast<unsigned char>(plaintext[i]);
  std::uint64_t clen = 0;
  ASSERT_EQ(encrypt(pk.get(), m, 257, c, &clen), 0);
  EXPECT_TRUE(std::equal(c, c + 257, ciphertext.begin()));
}

TEST_F(DemoProgramTest, MissingShortOrCorruptKeyFilesAreNamed) {
  const std::vector<std::string> names = {"new pk.txt", "new sk.txt", "new Inv_A.txt",         "new Inv_B.txt",
                                          "new V1.txt", "new V2.txt", "new Xe_mod_Irredfx.txt"};
  for (const std::string& name : names) {
    const std::string good = read_file(name);
    std::string corrupt = good;
    corrupt[good.size() / 3] = '5';
    const std::vector<std::pair<std::string, std::string>> damages = {
        {"", "cannot be opened"}, {good.substr(0, good.size() - 1), "too short"}, {corrupt, "other than 0, 1 or 2"}};
    for (const auto& [content, problem] : damages) {
      if (content.empty()) {
        std::remove(name.c_str());
      } else {
        write_file(name, content);
      }
      const CommandResult run = run_command(kDemo);
      EXPECT_EQ(run.status, 1) << name;
      EXPECT_NE(run.err.find("\"" + name + "\" "), std::string::npos) << run.err;
      EXPECT_NE(run.err.find(problem), std::string::npos) << run.err;
      // What makes the file: the tables tool for a table, key generation otherwise.
      const bool table = name.find("Irredfx") != std::string::npos;
      EXPECT_NE(run.err.find(table ? "; gf3mq-tables writes the tables" : "; gf3mq-keygen makes a key set"),
                std::string::npos)
          << run.err;
      EXPECT_EQ(run.out.find("hello world!"), std::string::npos) << name;
    }
    write_file(name, good);
  }
  EXPECT_EQ(run_command(kDemo).status, 0);
}

TEST(KeygenProgramTest, MakesAKeySetOrSaysWhichTableIsMissing) {
  ScratchDir dir;
  CommandResult run = run_command(kKeygen);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("\"new Xe_mod_Irredfx.txt\" cannot be opened"), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(list_dir(".").empty());

  write_tables_here(kPolyA);
  run = run_command(kKeygen);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "hello world!");
  EXPECT_EQ(list_dir(".").size(), 10u);
  EXPECT_EQ(run_command(kDemo).status, 0);
}

}  // namespace
