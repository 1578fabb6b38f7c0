// gf3mq-check on a sound key set and on sets with one damaged file each:
// a failing line names every file its check involves, status 1.
#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

const std::string kCheck = program("gf3mq-check");

// The FAIL lines of a run.
std::vector<std::string> failures(const std::string& out) {
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);)
    if (line.rfind("FAIL", 0) == 0) lines.push_back(line);
  return lines;
}

class CheckProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(run_command(program("gf3mq-tables") + " && " + program("gf3mq-keygen") + " --no-wait").status, 0);
  }
  ScratchDir dir;
};

TEST_F(CheckProgramTest, ASoundSetPassesEveryCheck) {
  const CommandResult run = run_command(kCheck);
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(failures(run.out).empty());
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 19);  // eighteen checks and the verdict
  EXPECT_NE(run.out.find("\nverdict: the key set and its tables are whole and belong together\n"), std::string::npos);
}

TEST_F(CheckProgramTest, EachDamagedFileIsNamed) {
  // file, digit changed, and what the failing line must say.
  const std::vector<std::tuple<std::string, std::size_t, std::vector<std::string>>> cases = {
      {"new Inv_A.txt", 5000, {"\"new Mat_A.txt\" times \"new Inv_A.txt\" is not the identity"}},
      {"new V2.txt", 100, {"\"new pk.txt\" and \"new sk.txt\" with", "\"new V2.txt\"", "do not agree"}},
      {"new pk.txt", 66306, {"\"new pk.txt\" and \"new sk.txt\" with", "do not agree"}},
      {"new pk.txt", 300, {"\"new pk.txt\" form 0 holds", "on or above the diagonal"}},
      {"new Xe_mod_Irredfx.txt", 257 * 40 + 3, {"\"new Xe_mod_Irredfx.txt\" row 40 is not x^297 mod f"}},
      {"new X_27i_mod_Irredfx.txt", 257 * 77 + 5, {"\"new X_27i_mod_Irredfx.txt\" row 77 is not x^2079 mod f"}},
  };
  for (const auto& [name, position, expected] : cases) {
    const std::string good = read_file(name);
    std::string bad = good;
    bad[position] = bad[position] == '1' ? '2' : '1';
    write_file(name, bad);
    const CommandResult run = run_command(kCheck);
    write_file(name, good);
    EXPECT_EQ(run.status, 1) << name;
    const std::vector<std::string> failed = failures(run.out);
    ASSERT_EQ(failed.size(), 1u) << name << "\n" << run.out;
    for (const std::string& part : expected) EXPECT_NE(failed[0].find(part), std::string::npos) << failed[0];
    EXPECT_NE(run.out.find("checks did not hold: do not use this key set as it is"), std::string::npos) << run.out;
  }
  ASSERT_EQ(run_command("chmod 644 'new Inv_B.txt'").status, 0);
  CommandResult run = run_command(kCheck);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(failures(run.out),
            std::vector<std::string>{"FAIL  group or others may read or write \"new Inv_B.txt\" (mode 0644); "
                                     "chmod 600 closes them"});
  ASSERT_EQ(run_command("chmod 600 'new Inv_B.txt' && rm 'new Mat_B.txt'").status, 0);
  run = run_command(kCheck);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("FAIL  \"new Mat_B.txt\" cannot be opened: No such file or directory"), std::string::npos);
  EXPECT_NE(run.out.find("skip  mat_B times B_Inv: needs \"new Mat_B.txt\""), std::string::npos) << run.out;
}

TEST_F(CheckProgramTest, AnythingAfterTheDigitsIsFoundOutWhileProgramsStillReadTheFirstDigits) {
  // What lies after the digits: another character, another digit, a NUL,
  // the whole file again. A line break alone is fine.
  const std::vector<std::pair<std::string, std::string>> tails = {{"X", "holds the byte 0x58 after its"},
                                                                  {"1", "holds more than its"},
                                                                  {std::string(1, '\0'), "holds the byte 0x00"},
                                                                  {"", "holds more than its"}};
  for (const std::string name : {"new sk.txt", "new Mat_A.txt", "new Xe_mod_Irredfx.txt"}) {
    const std::string good = read_file(name);
    for (const auto& [tail, says] : tails) {
      write_file(name, good + (tail.empty() ? good : tail));
      const CommandResult run = run_command(kCheck);
      EXPECT_EQ(run.status, 1) << name;
      const std::vector<std::string> failed = failures(run.out);
      ASSERT_FALSE(failed.empty()) << name << "\n" << run.out;
      EXPECT_EQ(failed[0].find("FAIL  \"" + name + "\" " + says), 0u) << failed[0];
    }
    if (name == "new sk.txt") {  // the first digits are the key, as ever
      const CommandResult demo = run_command(program("gf3mq-demo") + " --no-wait");
      EXPECT_EQ(demo.status, 0) << demo.err;
    }
    write_file(name, good + "\n");
    EXPECT_EQ(run_command(kCheck).status, 0) << name;
    write_file(name, good);
  }
}

TEST_F(CheckProgramTest, AFolderOthersMayWriteIsNamedAndWarnedAbout) {
  CommandResult run;
  for (const char* mode : {"0777", "0770"}) {  // others, or the group alone
    ASSERT_EQ(run_command(std::string("chmod ") + mode + " .").status, 0);
    run = run_command(kCheck);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(failures(run.out), std::vector<std::string>{"FAIL  group or others may write the folder \"" + dir.path() +
                                                          "\" (mode " + mode +
                                                          "): they could replace or remove the key files; "
                                                          "chmod go-w closes it"});
  }
  for (const auto& [name, operand] :
       {std::pair{"gf3mq-demo", "--no-wait"}, {"gf3mq-keygen", "--no-wait"}, {"gf3mq-encrypt", "/dev/null"}}) {
    run = run_command(program(name) + " " + operand + " </dev/null");
    EXPECT_EQ(run.status, 0) << name;
    EXPECT_NE(run.err.find(name + std::string(": warning: group or others may write the folder")), std::string::npos)
        << run.err;
  }
  ASSERT_EQ(run_command("chmod 0700 .").status, 0);
  EXPECT_EQ(run_command(program("gf3mq-demo") + " --no-wait").err, "");
}

}  // namespace
