// gf3mq-attack on a key set made by gf3mq-keygen, in a folder that holds
// nothing but "new pk.txt": plaintexts from gf3mq-encrypt recovered, saved
// relations reused and refused for another key, and what is not a
// ciphertext of the key said so.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "tests/test_support.h"
#include "tests/toy_key.h"

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
    ASSERT_EQ(run_command("mkdir keys public && " + program("gf3mq-tables") + " -C keys && " + program("gf3mq-keygen") +
                          " -C keys --no-wait >/dev/null && cp 'keys/new pk.txt' public/")
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

TEST_F(AttackProgramTest, TheRelationsAreTheSameOnAnyNumberOfThreads) {
  for (const char* threads : {"1", "2", "3"}) {
    const CommandResult run = run_command(std::string("GF3MQ_THREADS=") + threads + " " + kAttack +
                                          " -C public --save-relations ../rel" + threads + ".txt ../cipher.txt");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, read_file("plain.txt")) << threads;
  }
  EXPECT_EQ(read_file("rel2.txt"), read_file("rel1.txt"));
  EXPECT_EQ(read_file("rel3.txt"), read_file("rel1.txt"));
  const CommandResult run = run_command("GF3MQ_THREADS=0 " + kAttack + " -C public ../cipher.txt");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("GF3MQ_THREADS is \"0\""), std::string::npos) << run.err;
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
  EXPECT_EQ(run.out, read_file("plain.txt"));  // the lines before the bad one, nothing after
  EXPECT_NE(run.err.find("\"../noise.txt\", line 6: no plaintext over {1, 2} encrypts to this ciphertext"),
            std::string::npos)
      << run.err;
  write_file("bad.txt", std::string(256, '1') + "\n");
  run = run_command(kAttack + " -C public --relations ../rel.txt ../bad.txt");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("\"../bad.txt\", line 1: holds 256 elements, not 257"), std::string::npos) << run.err;
  run = run_command("echo | " + kAttack + " -C keys/..");  // no public key there
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("\"new pk.txt\" cannot be opened"), std::string::npos) << run.err;
}

TEST_F(AttackProgramTest, SavedRelationsReplaceOnlyARegularFileAndLieWholeInTheirFolder) {
  // What lies at the path stays as it was, and nothing else is written.
  std::vector<std::pair<std::string, std::string>> impostors = {
      {"mkfifo rel.txt", "\"../rel.txt\" is a FIFO, not a regular file: it is left as it is"},
      {"mkdir rel.txt", "\"../rel.txt\" is a directory, not a regular file: it is left as it is"},
      {"ln -s plain.txt rel.txt", "\"../rel.txt\" is a symbolic link, not a regular file: it is left as it is"}};
  if (geteuid() == 0) impostors.push_back({"mknod rel.txt c 1 7", "\"../rel.txt\" is a character device"});
  for (const auto& [make, says] : impostors) {
    ASSERT_EQ(run_command(make).status, 0) << make;
    const auto before = list_dir(".");
    const CommandResult run =
        run_command("timeout 60 " + kAttack + " -C public --save-relations ../rel.txt ../cipher.txt");
    EXPECT_EQ(run.status, 1) << make;
    EXPECT_EQ(run.out, "") << make;
    EXPECT_NE(run.err.find(says), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("elimination"), std::string::npos) << "refused before any work";
    EXPECT_EQ(list_dir("."), before) << make;
    EXPECT_EQ(list_dir("public"), std::vector<std::string>{"new pk.txt"});
    run_command("rm -rf rel.txt");
  }
  // In another folder: a temporary there, synced, renamed, and the folder synced.
  ASSERT_EQ(run_command("mkdir saved").status, 0);
  const std::string save = kAttack + " -C public --save-relations ../saved/rel.txt < /dev/null";
  const CommandResult run =
      have_strace() ? run_command(kStrace + "-y -o trace.log -e trace=fsync,rename,renameat,renameat2 " + save)
                    : run_command(save);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(list_dir("saved"), std::vector<std::string>{"rel.txt"});
  if (have_strace()) {
    const std::string trace = read_file("trace.log");
    const auto renamed = trace.find("saved/rel.txt\") = 0");
    ASSERT_NE(renamed, std::string::npos) << trace;
    EXPECT_NE(trace.rfind("/saved/.gf3mq.tmp.", renamed), std::string::npos) << "the temporary is synced before";
    EXPECT_NE(trace.find("/saved>) = 0", renamed), std::string::npos) << "and the folder after";
  }
}

TEST_F(AttackProgramTest, AKeyWithMoreRelationsThanAKeyOfThisSchemeIsRefusedSoon) {
  const std::vector<std::uint8_t> stored = monomial_forms(257, 24, 8);
  std::string digits(stored.size(), '0');
  for (std::size_t i = 0; i < stored.size(); ++i) digits[i] = static_cast<char>('0' + stored[i]);
  write_file("public/new pk.txt", digits);
  // Bounded in CPU time, generously (it takes 2 s), not by the clock: a
  // loaded machine stretches the clock, not the work.
  const CommandResult run = run_command("ulimit -t 120; " + kAttack + " -C public ../cipher.txt");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("this public key has more relations than a key of this scheme"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("leave 4144 relations with a set of 24 indices"), std::string::npos) << "the first set";
  EXPECT_EQ(run.out, "");
}

TEST_F(AttackProgramTest, OptionsThatExcludeEachOtherAndDamagedRelationsAreNamed) {
  CommandResult run = run_command(kAttack + " -C public --relations a --save-relations=b ../cipher.txt");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("--relations and --save-relations cannot be used together"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Usage: gf3mq-attack"), std::string::npos);
  // A format of no file, or one that does not exist.
  for (const char* wrong : {" --relations-format gp", " --save-relations=b --relations-format pdf"})
    EXPECT_EQ(run_command(kAttack + " -C public" + wrong + " ../cipher.txt").status, 2) << wrong;
  EXPECT_FALSE(file_exists("b"));
  // A digit changed after a sound header: the relations file is to blame, not the key.
  ASSERT_EQ(run_command(kAttack + " -C public --save-relations ../rel.txt < /dev/null").status, 0);
  std::string relations = read_file("rel.txt");
  const std::size_t at = relations.find('\n') + 1000;
  relations[at] = relations[at] == '1' ? '2' : '1';
  write_file("rel.txt", relations);
  run = run_command(kAttack + " -C public --relations ../rel.txt ../cipher.txt");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("\"../rel.txt\" holds relations that do not hold for \"new pk.txt\": it is damaged"),
            std::string::npos)
      << run.err;
}

}  // namespace
