// Key generation and the readers that finish its journal, seen through their
// system calls: the order of a replacement, as a crash needs it, and every
// failure of a sync, a removal or a read-back reported with what is true of
// the folder afterwards.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>

#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

const std::string kKeygen = program("gf3mq-keygen") + " </dev/null";
const std::string kDemo = program("gf3mq-demo") + " </dev/null";
const std::vector<std::string> kKeyFiles = {"new Mat_A.txt", "new V1.txt",    "new Mat_B.txt", "new V2.txt",
                                            "new Inv_A.txt", "new Inv_B.txt", "new pk.txt",    "new sk.txt"};
const std::string kReplacementCalls = "fsync,link,linkat,rename,renameat,renameat2,unlink,unlinkat";

std::string key_set() {
  std::string all;
  for (const std::string& name : kKeyFiles) all += read_file(name) + "|";
  return all;
}

// The traced calls of a replacement, one word each: "sync-temporary",
// "sync-folder", "backup <file>", "commit", "rename <file>", "remove-backup",
// "remove-journal" (strace -y names the file behind each descriptor).
std::vector<std::string> replacement_steps(const std::string& log, const std::string& folder) {
  std::vector<std::string> steps;
  std::istringstream lines(log);
  auto quoted = [](const std::string& line, int which) {
    std::size_t at = 0;
    for (int i = 0; i <= 2 * which; ++i) at = line.find('"', at) + 1;
    return line.substr(at, line.find('"', at) - at);
  };
  for (std::string line; std::getline(lines, line);) {
    if (line.find("fsync(") != std::string::npos) {
      steps.push_back(line.find("<" + folder + ">") != std::string::npos ? "sync-folder" : "sync-temporary");
    } else if (line.find("link(") != std::string::npos && line.find("unlink") == std::string::npos) {
      steps.push_back("backup " + quoted(line, 0));
    } else if (line.find("rename(") != std::string::npos) {
      steps.push_back(quoted(line, 1) == ".gf3mq.journal" ? "commit" : "rename " + quoted(line, 1));
    } else if (line.find("unlink(") != std::string::npos) {
      steps.push_back(quoted(line, 0) == ".gf3mq.journal" ? "remove-journal" : "remove-backup");
    }
  }
  return steps;
}

class KeySetFaultTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!have_strace()) GTEST_SKIP() << "strace is not installed";
    write_tables_here(kPolyA);
    ASSERT_EQ(run_command(kKeygen).status, 0);
    old_set = key_set();
  }
  void expect_whole_set() {
    const CommandResult demo = run_command(kDemo);
    EXPECT_EQ(demo.status, 0) << demo.err;
  }
  ScratchDir dir;
  std::string old_set;
};

TEST_F(KeySetFaultTest, AReplacementSyncsBeforeItCommitsAndCommitsBeforeItRenames) {
  ASSERT_EQ(run_command(kStrace + "-y -o trace.log -e trace=" + kReplacementCalls + " " + kKeygen).status, 0);
  std::vector<std::string> expected(8, "sync-temporary");  // every new file on disk under its temporary
  for (const std::string& name : kKeyFiles) expected.push_back("backup " + name);
  for (const char* step : {"sync-temporary", "commit", "sync-folder"}) expected.push_back(step);  // the journal
  for (const std::string& name : kKeyFiles) expected.push_back("rename " + name);
  expected.push_back("sync-folder");
  expected.insert(expected.end(), 8, "remove-backup");
  for (const char* step : {"remove-journal", "sync-folder"}) expected.push_back(step);
  EXPECT_EQ(replacement_steps(read_file("trace.log"), dir.path()), expected);
}

TEST_F(KeySetFaultTest, AReaderRollsForwardRenamesFirstThenSyncsThenRemovesTheBackups) {
  // Killed after the commit and three renames: the demo finishes the set.
  ASSERT_EQ(with_fault("rename,renameat,renameat2", "signal=KILL", "5", kKeygen).status, 137);
  ASSERT_TRUE(file_exists(".gf3mq.journal"));
  ASSERT_EQ(run_command(kStrace + "-y -o trace.log -e trace=" + kReplacementCalls + " " + kDemo).status, 0);
  std::vector<std::string> expected;
  for (std::size_t i = 3; i < kKeyFiles.size(); ++i) expected.push_back("rename " + kKeyFiles[i]);
  expected.push_back("sync-folder");
  expected.insert(expected.end(), 8, "remove-backup");
  for (const char* step : {"remove-journal", "sync-folder"}) expected.push_back(step);
  EXPECT_EQ(replacement_steps(read_file("trace.log"), dir.path()), expected);
  EXPECT_FALSE(key_set() == old_set);
}

TEST_F(KeySetFaultTest, AFolderThatCannotBeSyncedIsReported) {
  // Every sync of the folder fails: the commit is not known to be on disk,
  // so nothing is renamed.
  CommandResult run = with_fault("fsync", "error=EIO", "1+", kKeygen, ".");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("could not be synced: Input/output error after the journal was written; no key set was made"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(key_set() == old_set);
  EXPECT_EQ(list_dir(".").size(), 10u);  // no journal, backup or temporary
  // Only the sync after the renames fails: the new set is in place, and may not be on disk.
  run = with_fault("fsync", "error=EIO", "2", kKeygen, ".");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("could not be synced: Input/output error, so the files may not be on disk; the new key "
                         "set is in place nonetheless"),
            std::string::npos)
      << run.err;
  EXPECT_FALSE(key_set() == old_set);
  EXPECT_EQ(list_dir(".").size(), 10u);
  expect_whole_set();
  // A reader that finishes a journal says so too.
  ASSERT_EQ(with_fault("rename,renameat,renameat2", "signal=KILL", "4", kKeygen).status, 137);
  run = with_fault("fsync", "error=EIO", "1+", kDemo, ".");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("an interrupted key generation was finished, but the folder"), std::string::npos) << run.err;
  expect_whole_set();
}

TEST_F(KeySetFaultTest, BackupsThatCannotBeRemovedAreNamed) {
  const CommandResult run = with_fault("unlink,unlinkat", "error=EACCES", "1", kKeygen);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("copies of the previous files remain, which could not be removed: \".gf3mq.bak."),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("(Permission denied); the new key set is in place nonetheless"), std::string::npos) << run.err;
  // The copy left is a link to an old secret file, closed to others.
  std::vector<std::string> left;
  for (const std::string& name : list_dir("."))
    if (name.rfind(".gf3mq.bak.", 0) == 0) left.push_back(name);
  ASSERT_EQ(left.size(), 1u);
  struct stat info {};
  ASSERT_EQ(stat(left[0].c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  expect_whole_set();
  ASSERT_EQ(run_command(kKeygen).status, 0);  // the next key generation clears it
  EXPECT_EQ(list_dir(".").size(), 10u);
}

TEST_F(KeySetFaultTest, ANewSetThatCannotBeReadBackIsSaidToBeInPlace) {
  const CommandResult run = with_fault("openat", "error=EMFILE", "1", kKeygen, "new pk.txt");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("\"new pk.txt\" cannot be opened: Too many open files; the new key set is in place, but "
                         "could not be read back"),
            std::string::npos)
      << run.err;
  EXPECT_FALSE(key_set() == old_set);
  expect_whole_set();
}

TEST_F(KeySetFaultTest, AFolderThatCannotBeListedForLeftoversStopsKeygen) {
  // The second open of the folder is the listing of leftovers (the first is its lock).
  const CommandResult run = with_fault("openat", "error=EACCES", "2", kKeygen, ".");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cannot be read for leftover temporaries: Permission denied; no key set was made"),
            std::string::npos)
      << run.err;
  EXPECT_TRUE(key_set() == old_set);
}

TEST_F(KeySetFaultTest, ALeftoverThatCannotBeRemovedStopsKeygenAndIsNamed) {
  // A temporary a killed run left behind, which the system refuses to remove.
  write_file(".gf3mq.tmp.OLD111", "half a key file");
  ASSERT_EQ(chmod(".gf3mq.tmp.OLD111", 0600), 0);
  const CommandResult run = with_fault("unlink,unlinkat", "error=EACCES", "1", kKeygen, ".gf3mq.tmp.OLD111");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("\".gf3mq.tmp.OLD111\" (Permission denied)"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("no key set was made"), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(key_set() == old_set);
  EXPECT_TRUE(file_exists(".gf3mq.tmp.OLD111"));
  ASSERT_EQ(run_command(kKeygen).status, 0);  // removable again: the next key generation clears it
  EXPECT_EQ(list_dir(".").size(), 10u);
}

}  // namespace
