// The programs at sizes other than 257, as a user runs them in an empty
// folder: gf3mq-tables --degree N, gf3mq-keygen, the demonstration's ten
// lines of n-element lists, encryption, decryption, the check and the
// attack; and key files whose length does not fit the tables' n refused.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

std::string random_plaintexts(std::mt19937& rng, int n, int count) {
  std::string lines;
  for (int i = 0; i < count; ++i) {
    for (int j = 0; j < n; ++j) lines += static_cast<char>('1' + rng() % 2);
    lines += '\n';
  }
  return lines;
}

// Seeded keys: at n = 7 about one random key in 22 has Inv_B V2 with at
// most two non-zero elements, which gf3mq-check rightly fails.
class SizedProgramTest : public testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    n = GetParam();
    const CommandResult run = run_command(program("gf3mq-tables") + " --degree " + std::to_string(n) + " && " +
                                          program("gf3mq-keygen") + " --seed sizes --no-wait </dev/null");
    ASSERT_EQ(run.status, 0) << run.err;
  }
  ScratchDir dir;
  int n = 0;
};

TEST_P(SizedProgramTest, EveryProgramWorksAtThisSize) {
  // The demonstration: ten lines, lists of n elements, lengths "2n n".
  CommandResult run = run_command(program("gf3mq-demo") + " --no-wait");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> lines = lines_of(run.out);
  ASSERT_EQ(lines.size(), 10u) << run.out;
  for (int i : {1, 3, 6, 7}) EXPECT_EQ(lines[i].size(), static_cast<std::size_t>(2 * n + 1)) << lines[i];
  EXPECT_EQ(lines[8], std::to_string(2 * n) + " " + std::to_string(n));
  EXPECT_EQ(lines[9], "hello world!");
  // Encryption, decryption and the attack from the public key alone.
  std::mt19937 rng(static_cast<std::uint32_t>(n));
  write_file("plain.txt", random_plaintexts(rng, n, 20));
  run = run_command(program("gf3mq-encrypt") + " plain.txt > cipher.txt");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(lines_of(read_file("cipher.txt")).size(), 20u);
  run = run_command(program("gf3mq-decrypt") + " --both cipher.txt");
  ASSERT_EQ(run.status, 0) << run.err;
  // With --both the message comes first, or both candidates are said to encrypt back.
  const std::vector<std::string> plain = lines_of(read_file("plain.txt")), both = lines_of(run.out);
  ASSERT_EQ(both.size(), 40u);
  for (std::size_t t = 0; t < 20; ++t) EXPECT_TRUE(both[2 * t] == plain[t] || both[2 * t + 1] == plain[t]) << t;
  ASSERT_EQ(run_command("mkdir public && cp 'new pk.txt' public/").status, 0);
  run = run_command(program("gf3mq-attack") + " -C public --both ../cipher.txt");
  ASSERT_EQ(run.status, 0) << run.err;
  // A plaintext of each ciphertext, as a rule the one sent; both of one
  // that is ambiguous, as standard error says.
  std::vector<std::string> expected;
  for (std::size_t t = 0; t < 20; ++t) {
    const std::string cipher = lines_of(read_file("cipher.txt"))[t];
    expected.insert(expected.end(),
                    run.err.find("line " + std::to_string(t + 1) + ": two") == std::string::npos ? 1 : 2, cipher);
  }
  write_file("recovered.txt", run.out);
  EXPECT_EQ(lines_of(run_command(program("gf3mq-encrypt") + " recovered.txt").out), expected);
  const std::string route = n < 9 ? "every plaintext over {1, 2} is tried" : std::to_string(n) + " relations from";
  EXPECT_NE(run.err.find(route), std::string::npos) << run.err;
  // The check, and the tables' own check, at this n.
  run = run_command(program("gf3mq-check"));
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("describe GF(3^" + std::to_string(n) + ")"), std::string::npos) << run.out;
  run = run_command(program("gf3mq-tables") + " --check");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("GF(3^" + std::to_string(n) + ")"), std::string::npos);
}

TEST_P(SizedProgramTest, KeyFilesOfAnotherLengthAreRefusedNamingTheTable) {
  write_file("plain.txt", std::string(static_cast<std::size_t>(n), '1') + "\n");
  ASSERT_EQ(run_command(program("gf3mq-encrypt") + " plain.txt > cipher.txt").status, 0);
  for (const std::string name : {"new Inv_A.txt", "new V2.txt", "new sk.txt"}) {
    const std::string good = read_file(name);
    // One digit short, or one digit more: both refused at a size other than 257.
    const std::string short_one = good.substr(0, good.size() - 1), long_one = good + "1";
    for (const std::string* bad : {&short_one, &long_one}) {
      write_file(name, *bad);
      for (const std::string& command :
           {program("gf3mq-demo") + " --no-wait", program("gf3mq-decrypt") + " cipher.txt"}) {
        const CommandResult run = run_command(command);
        EXPECT_EQ(run.status, 1) << command << " " << name;
        EXPECT_NE(run.err.find("\"" + name + "\""), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("(n = " + std::to_string(n) + ", as \"new Xe_mod_Irredfx.txt\" has it)"),
                  std::string::npos)
            << run.err;
      }
    }
    write_file(name, good + "\n");  // a final line break is fine
    EXPECT_EQ(run_command(program("gf3mq-demo") + " --no-wait").status, 0) << name;
    write_file(name, good);
  }
  // A public key of two sizes mixed is found out by what reads it alone.
  const std::string pk = read_file("new pk.txt");
  write_file("new pk.txt", pk + "0");
  const CommandResult run = run_command(program("gf3mq-encrypt") + " plain.txt");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("\"new pk.txt\""), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(Sizes, SizedProgramTest, testing::Values(7, 127), [](const auto& info) {
  std::string name = std::to_string(info.param);
  return name.insert(0, 1, 'n');
});

TEST(SizedProgramsTest, SizesThatDoNotExistAreRefused) {
  ScratchDir dir;
  for (const char* degree : {"8", "3", "1023", "x", "-5", "2570"}) {
    const CommandResult run = run_command(program("gf3mq-tables") + " --degree " + degree);
    EXPECT_EQ(run.status, 2) << degree;
    EXPECT_NE(run.err.find("the sizes are the odd n from 5 to 1021"), std::string::npos) << run.err;
  }
  EXPECT_TRUE(list_dir(".").empty());
  EXPECT_EQ(run_command(program("gf3mq-tables") + " --degree 257 --poly 'x^257 + 2*x^91 + 1'").status, 2);
  const CommandResult run = run_command(program("gf3mq-tables") + " --degree 257");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "wrote the field tables for f = x^257 + 2*x^22 + 1\n");
}

TEST(SizedProgramsTest, AFileThatFailsIsNamedWithTheSystemsOwnErrorAndPlacedTablesStay) {
  if (!have_strace()) GTEST_SKIP() << "strace is not installed";
  ScratchDir dir;
  const std::string tables = program("gf3mq-tables") + " --degree 7", table = "\"new Xe_mod_Irredfx.txt\" ";
  CommandResult run = with_fault("fchmod", "error=ENOSPC", "1", tables);
  EXPECT_NE(run.err.find(table + "cannot be written: No space left on device"), std::string::npos) << run.err;
  // The temporary of either table cannot be removed once it is in place: both tables stay.
  for (const char* when : {"1", "2"}) {
    ASSERT_EQ(run_command("rm -f new*").status, 0);
    run = with_fault("unlinkat", "error=EIO", when, tables);
    EXPECT_NE(run.err.find("removed: Input/output error; both tables are in place"), std::string::npos) << run.err;
    EXPECT_EQ(run_command(program("gf3mq-tables") + " --check").status, 0) << when;
  }
  // The reduction table gives n: its own error is named, never "too short" at 257, nor "new pk.txt".
  const std::string keygen = program("gf3mq-keygen") + " --no-wait </dev/null";
  ASSERT_EQ(run_command(keygen).status, 0);
  for (const auto& [call, what] : {std::pair{"openat", "opened"}, {"read", "read"}}) {
    run = with_fault(call, "error=EIO", "1", keygen, "new Xe_mod_Irredfx.txt");
    EXPECT_NE(run.err.find(table + "cannot be " + what + ": Input/output error"), std::string::npos) << run.err;
  }
  ASSERT_EQ(run_command("rm new\\ Xe* && ln -s /dev/zero 'new Xe_mod_Irredfx.txt'").status, 0);
  for (const std::string& command : {program("gf3mq-demo") + " --no-wait", program("gf3mq-decrypt") + " /dev/null"})
    EXPECT_NE(run_command(command).err.find(table + "is a symbolic link"), std::string::npos) << command;
}

}  // namespace
