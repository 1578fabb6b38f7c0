// What every program does the same way: --help, --version, usage errors
// with status 2, -C (and a folder it cannot enter), --no-wait, and the
// demo's captions in the locale's character set.
#include <gtest/gtest.h>

#include <map>

#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

const std::vector<std::string> kPrograms = {"gf3mq-demo",    "gf3mq-keygen", "gf3mq-tables", "gf3mq-encrypt",
                                            "gf3mq-decrypt", "gf3mq-check",  "gf3mq-attack", "gf3mq-show"};

TEST(ProgramConventionsTest, HelpVersionAndUsageErrors) {
  ScratchDir dir;
  for (const std::string& name : kPrograms) {
    CommandResult run = run_command(program(name) + " --help </dev/null");
    EXPECT_EQ(run.status, 0) << name;
    EXPECT_EQ(run.out.rfind("Usage: " + name, 0), 0u) << name << ": " << run.out.substr(0, 60);
    EXPECT_EQ(run.err, "") << name;
    run = run_command(program(name) + " --version </dev/null");
    EXPECT_EQ(run.status, 0) << name;
    EXPECT_EQ(run.out, name + " " + GF3MQ_VERSION + "\n");
    for (const std::string& bad : {std::string(" --frobnicate"), std::string(" -C"), std::string(" a b c")}) {
      run = run_command(program(name) + bad + " </dev/null");
      EXPECT_EQ(run.status, 2) << name << bad;
      EXPECT_EQ(run.out, "") << name << bad;
      EXPECT_NE(run.err.find("Usage: " + name), std::string::npos) << name << bad << ": " << run.err;
    }
    run = run_command(program(name) + " -C no-such-folder </dev/null");
    EXPECT_EQ(run.status, 1) << name;
    EXPECT_NE(run.err.find("cannot change to the folder \"no-such-folder\": No such file or directory"),
              std::string::npos)
        << run.err;
  }
  EXPECT_TRUE(list_dir(".").empty());  // none of them wrote anything
}

TEST(ProgramConventionsTest, OneOperandTooManyIsAUsageErrorAndChangesNothing) {
  // In a folder with a key set and files each program could take as its
  // FILE: gf3mq-encrypt, gf3mq-decrypt and gf3mq-attack take one operand,
  // the others none.
  ScratchDir dir;
  ASSERT_EQ(run_command(program("gf3mq-tables") + " && " + program("gf3mq-keygen") + " --no-wait").status, 0);
  write_file("plain.txt", std::string(257, '1') + "\n");
  ASSERT_EQ(run_command(program("gf3mq-encrypt") + " plain.txt > cipher.txt").status, 0);
  const auto snapshot = [] {
    std::map<std::string, std::string> files;
    for (const std::string& name : list_dir(".")) files[name] = read_file(name);
    return files;
  };
  for (const std::string& name : kPrograms) {
    const bool takes_a_file = name == "gf3mq-encrypt" || name == "gf3mq-decrypt" || name == "gf3mq-attack";
    const std::string file = name == "gf3mq-encrypt" ? " plain.txt" : " cipher.txt";
    const std::string operands = takes_a_file ? file + file : file;
    const auto before = snapshot();
    const CommandResult run = run_command(program(name) + operands + " </dev/null");
    EXPECT_EQ(run.status, 2) << name << operands;
    EXPECT_EQ(run.out, "") << name << operands;
    EXPECT_NE(run.err.find("too many operands"), std::string::npos) << name << operands << ": " << run.err;
    EXPECT_NE(run.err.find("Usage: " + name), std::string::npos) << name << operands << ": " << run.err;
    EXPECT_TRUE(snapshot() == before) << name << operands;
  }
}

TEST(ProgramConventionsTest, OptionsFollowTheGnuConventions) {
  // -CDIR as well as -C DIR, --opt=value as well as --opt value, and any
  // unique beginning of a long option.
  ScratchDir dir;
  ASSERT_EQ(run_command("mkdir keys").status, 0);
  CommandResult run = run_command(program("gf3mq-tables") + " -Ckeys --po='x^257 + 2*x^91 + 1'");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("x^257 + 2*x^91 + 1"), std::string::npos) << run.out;
  ASSERT_EQ(run_command(program("gf3mq-keygen") + " -C keys --no-w </dev/null").status, 0);
  write_file("keys/plain.txt", std::string(257, '2') + "\n");
  run = run_command(program("gf3mq-encrypt") + " -Ckeys plain.txt | " + program("gf3mq-decrypt") + " -Ckeys --bo");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.substr(0, 258), std::string(257, '2') + "\n");
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2);  // both candidates
  run = run_command(program("gf3mq-tables") + " -C keys --che");
  EXPECT_EQ(run.status, 0) << run.err;
  run = run_command(program("gf3mq-tables") + " -C keys --poly");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("--poly needs a value"), std::string::npos) << run.err;
  run = run_command(program("gf3mq-decrypt") + " --bother");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("unknown or ambiguous option \"--bother\""), std::string::npos) << run.err;
}

TEST(ProgramConventionsTest, MinusCWorksInTheFolderAndNoWaitDoesNotWait) {
  ScratchDir dir;
  ASSERT_EQ(run_command("mkdir -p keys/inner").status, 0);
  // -C is taken at once and relative to the one before, as git -C does.
  ASSERT_EQ(run_command(program("gf3mq-tables") + " -C keys -C inner").status, 0);
  EXPECT_TRUE(file_exists("keys/inner/new Xe_mod_Irredfx.txt"));
  // Standard input is a FIFO no one writes to: without --no-wait these
  // would wait for ever (the timeout would end them with 124).
  ASSERT_EQ(run_command("mkfifo wait").status, 0);
  CommandResult run = run_command("timeout 20 " + program("gf3mq-keygen") + " -C keys/inner --no-wait <> wait");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "hello world!");
  run = run_command("timeout 20 " + program("gf3mq-demo") + " --no-wait -C keys/inner <> wait");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.substr(run.out.size() - 13), "\nhello world!");
  EXPECT_EQ(list_dir("."), (std::vector<std::string>{"keys", "wait"}));
}

TEST(ProgramConventionsTest, CaptionsFollowTheLocalesCharacterSet) {
  ScratchDir dir;
  ASSERT_EQ(run_command(program("gf3mq-tables") + " && " + program("gf3mq-keygen") + " --no-wait").status, 0);
  std::string demo = GF3MQ_BIN_DIR;
  demo.insert(0, 1, '\'');
  demo.append("/gf3mq-demo' --no-wait");
  const std::string gbk = "\xCB\xE6\xBB\xFA\xB2\xFA\xC9\xFA\xB5\xC4\xD2\xBB\xD7\xE9\xC3\xF7\xCE\xC4\xCE\xAA\xA3\xBA\n";
  for (const char* locale : {"C", "POSIX"}) {
    const CommandResult run = run_command(std::string("LC_ALL=") + locale + " " + demo);
    EXPECT_EQ(run.out.substr(0, gbk.size()), gbk) << locale;
  }
  if (run_command("locale -a | grep -qi '^c.utf-\\?8$'").status != 0) GTEST_SKIP() << "no C.UTF-8 locale here";
  const CommandResult run = run_command("LC_ALL=C.UTF-8 " + demo);
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "随机产生的一组明文为：");
  EXPECT_NE(run.out.find("\n加密产生的密文为：\n"), std::string::npos);
  EXPECT_NE(run.out.find("\n相应的两组解密明文为：\n"), std::string::npos);
}

}  // namespace
