// gf3mq-attack on a key set made by gf3mq-keygen, in a folder that holds
// nothing but "new pk.txt": plaintexts from gf3mq-encrypt recovered, saved
// relations reused and refused for another key, and what is not a
// ciphertext of the key said so.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

const std::string kAttack = program("gf3mq-attack");

std::string random_lines(std::mt19937& rng, int count, const char* digits) {
  std::string lines;
  for (int i = 0; i < count; ++i) {
    for (int j = 0; j < 257; ++j) lines += digits[rng() % std::strlen(digits)];
    lines += '\n';
  }
  return lines;
}

class AttackProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(run_command("mkdir keys public && " + program("gf3mq-tables") + " -C keys && " +
                          program("gf3mq-keygen") + " -C keys --no-wait >/dev/null && cp 'keys/new pk.txt' public/")
                  .status,
              0);
    std::mt19937 rng(81);
    write_file("plain.txt", random_lines(rng, 5, "12"));
    ASSERT_EQ(run_command(program("gf3mq-encrypt") + " -C keys ../plain.txt > cipher.txt").status, 0);
  }
  ScratchDir dir;
};

TEST_F(AttackProgramTest, RecoversEveryPlaintextFromThePublicKeyAlone) {
  const CommandResult run = run_command(kAttack + " -C public ../cipher.txt");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, read_file("plain.txt"));
  for (const char* phase : {"reading the public key", "equations", "elimination", "relations", "recovering plaintexts"})
    EXPECT_NE(run.err.find(std::string("gf3mq-attack: ") + phase + " "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("257 relations from 6451 equations in 6168 unknowns"), std::string::npos) << run.err;
  EXPECT_EQ(list_dir("public"), std::vector<std::string>{"new pk.txt"});  // the only file, and nothing written
}

TEST_F(AttackProgramTest, SavedRelationsServeFurtherCiphertextsOfTheirKeyOnly) {
  CommandResult run = run_command(kAttack + " -C public --save-relations ../rel.txt < /dev/null");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  run = run_command("tail -n 2 cipher.txt | " + kAttack + " -C public --relations ../rel.txt");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string plaintexts = read_file("plain.txt");
  EXPECT_EQ(run.out, plaintexts.substr(3 * 258));
  EXPECT_EQ(run.err.find("elimination"), std::string::npos);  // nothing computed again
  // After "--", an operand that begins with a dash is the file of that name.
  write_file("public/-x", read_file("cipher.txt").substr(3 * 258));
  run = run_command(kAttack + " -C public --relations ../rel.txt -- -x </dev/null");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, plaintexts.substr(3 * 258));
  // Another key set: the saved relations are not its own.
  ASSERT_EQ(run_command(program("gf3mq-keygen") + " -C keys --no-wait >/dev/null").status, 0);
  run = run_command(kAttack + " -C keys --relations ../rel.txt < /dev/null");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("\"../rel.txt\" holds relations made for another public key"), std::string::npos) << run.err;
}

TEST_F(AttackProgramTest, WhatIsNotACiphertextOfTheKeyIsSaidSo) {
  ASSERT_EQ(run_command(kAttack + " -C public --save-relations ../rel.txt < /dev/null").status, 0);
  std::mt19937 rng(82);
  write_file("noise.txt", read_file("cipher.txt") + random_lines(rng, 1, "012"));
  CommandResult run = run_command(kAttack + " -C public --relations ../rel.txt ../noise.txt");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("\"../noise.txt\", line 6: no plaintext over {1, 2} encrypts to this ciphertext"),
            std::string::npos)
      << run.err;
  write_file("bad.txt", std::string(256, '1') + "\n");
  run = run_command(kAttack + " -C public --relations ../rel.txt ../bad.txt");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("line 1 holds 256 elements, not 257"), std::string::npos) << run.err;
  run = run_command("echo | " + kAttack + " -C keys/..");  // no public key there
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("\"new pk.txt\" cannot be opened"), std::string::npos) << run.err;
}

}  // namespace
