// Error paths of gf3mq-keygen run as a program: damaged tables and a folder
// it cannot write give one message naming the file, status 1, no signal,
// and leave every file as it was.
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>

#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

const std::string kKeygen = program("gf3mq-keygen") + " </dev/null";

std::map<std::string, std::string> snapshot() {
  std::map<std::string, std::string> files;
  for (const std::string& name : list_dir(".")) files[name] = read_file(name);
  return files;
}

TEST(KeygenErrorTest, DamagedTablesAreNamedAndNothingIsWritten) {
  ScratchDir dir;
  write_tables_here(kPolyA);
  const std::string reduction = read_file("new Xe_mod_Irredfx.txt");
  const std::string frobenius = read_file("new X_27i_mod_Irredfx.txt");
  std::string corrupt = frobenius;
  corrupt[5000] = '9';
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {"new Xe_mod_Irredfx.txt", reduction.substr(0, 1000), "is too short"},
      {"new Xe_mod_Irredfx.txt", "", "is too short"},
      {"new X_27i_mod_Irredfx.txt", corrupt, "holds a character other than 0, 1 or 2"},
      {"new X_27i_mod_Irredfx.txt", frobenius.substr(0, 66048), "is too short"},
  };
  for (const auto& [name, content, problem] : cases) {
    write_file("new Xe_mod_Irredfx.txt", reduction);
    write_file("new X_27i_mod_Irredfx.txt", frobenius);
    write_file(name, content);
    const auto before = snapshot();
    const CommandResult run = run_command(kKeygen);
    EXPECT_EQ(run.status, 1) << name;
    EXPECT_NE(run.err.find("\"" + name + "\" " + problem), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");  // it does not wait for a key either
    EXPECT_TRUE(snapshot() == before) << name;
  }
}

TEST(KeygenErrorTest, AFolderItCannotWriteKeepsThePreviousSet) {
  ScratchDir dir;
  write_tables_here(kPolyB);
  ASSERT_EQ(run_command(kKeygen).status, 0);
  const auto before = snapshot();
  // Root writes anywhere a mode allows it not to; an immutable folder stops
  // root too. Without either, there is no folder this test can make unwritable.
  const bool root = geteuid() == 0;
  const std::string lock = root ? "chattr +i '" + dir.path() + "'" : "chmod 0500 '" + dir.path() + "'";
  const std::string unlock = root ? "chattr -i '" + dir.path() + "'" : "chmod 0700 '" + dir.path() + "'";
  if (run_command(lock).status != 0) GTEST_SKIP() << "cannot make a folder unwritable here";
  const CommandResult run = run_command(kKeygen);
  run_command(unlock);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("\"new Mat_A.txt\" cannot be written"), std::string::npos) << run.err;
  EXPECT_TRUE(snapshot() == before);  // the same files, unchanged, and no temporaries
}

}  // namespace
