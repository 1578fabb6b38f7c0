// The programs against a hostile or unlucky folder: key generation killed at
// every rename or stopped by a signal, a rename refused, two writers at once,
// readers beside a writer, damaged tables, FIFOs and folders in place of key
// files, lost output. Each case ends with the previous or the new key set
// whole, or one clear message and status 1.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

const std::string kKeygen = program("gf3mq-keygen") + " </dev/null";
const std::string kDemo = program("gf3mq-demo") + " </dev/null";
const std::string kTables = program("gf3mq-tables");
const std::vector<std::string> kKeyFiles = {"new Inv_A.txt", "new Inv_B.txt", "new Mat_A.txt", "new Mat_B.txt",
                                            "new V1.txt",    "new V2.txt",    "new pk.txt",    "new sk.txt"};

const std::string kRenames = "rename,renameat,renameat2";

std::string key_set() {
  std::string all;
  for (const std::string& name : kKeyFiles) all += read_file(name) + "|";
  return all;
}

std::map<std::string, std::string> snapshot() {
  std::map<std::string, std::string> files;
  for (const std::string& name : list_dir(".")) files[name] = read_file(name);
  return files;
}

// err without the lines that say a program waits for the folder's lock: on a
// loaded machine a reader may wait more than a second for a writer.
std::string without_lock_notices(const std::string& err) {
  std::string kept;
  std::istringstream lines(err);
  for (std::string line; std::getline(lines, line);)
    if (line.find(": waiting for the lock of the folder \"") == std::string::npos) kept += line + "\n";
  return kept;
}

// The demo exits 0 only when a candidate encrypts back: the set is whole.
void expect_whole_set() {
  const CommandResult demo = run_command(kDemo);
  EXPECT_EQ(demo.status, 0) << demo.err;
}

class KeySetProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    write_tables_here(kPolyA);
    ASSERT_EQ(run_command(kKeygen).status, 0);
    old_set = key_set();
  }
  ScratchDir dir;
  std::string old_set;
};

TEST_F(KeySetProgramTest, KilledAtAnyRenameTheNextProgramSeesAWholeSet) {
  if (!have_strace()) GTEST_SKIP() << "strace is not installed";
  // Rename 1 commits the journal; renames 2..9 put the eight files in place.
  for (int n = 1; n <= 9; ++n) {
    const std::string before = key_set();
    const CommandResult run = with_fault(kRenames, "signal=KILL", std::to_string(n), kKeygen);
    ASSERT_EQ(run.status, 137) << "rename " << n << ": " << run.err;
    expect_whole_set();
    if (n == 1) {
      EXPECT_TRUE(key_set() == before) << "killed before the commit: the previous set";
    } else {
      EXPECT_FALSE(key_set() == before) << "killed after the commit: the new set, rolled forward";
    }
    EXPECT_FALSE(file_exists(".gf3mq.journal"));
  }
  ASSERT_EQ(run_command(kKeygen).status, 0);
  EXPECT_EQ(list_dir(".").size(), 10u);  // eight key files, two tables: no temporary left
}

TEST_F(KeySetProgramTest, TerminationSignalsBeforeTheCommitRemoveTheTemporaries) {
  if (!have_strace()) GTEST_SKIP() << "strace is not installed";
  // fsync 3 comes while the temporaries are being written.
  const std::vector<std::pair<std::string, int>> signals = {{"INT", 130}, {"TERM", 143}, {"HUP", 129}};
  for (const auto& [name, status] : signals) {
    const CommandResult run = with_fault("fsync", "signal=" + name, "3", kKeygen);
    EXPECT_EQ(run.status, status) << name;
    EXPECT_TRUE(key_set() == old_set) << name;
    EXPECT_EQ(list_dir(".").size(), 10u) << name;
  }
}

TEST_F(KeySetProgramTest, ASignalAfterTheCommitWaitsUntilTheNewSetIsWhole) {
  if (!have_strace()) GTEST_SKIP() << "strace is not installed";
  const CommandResult run = with_fault(kRenames, "signal=TERM", "4", kKeygen);
  EXPECT_EQ(run.status, 143);
  EXPECT_FALSE(key_set() == old_set);
  EXPECT_EQ(list_dir(".").size(), 10u);  // no journal, backup or temporary
  expect_whole_set();
}

TEST_F(KeySetProgramTest, ARefusedRenameIsUndoneOrFinishedLater) {
  if (!have_strace()) GTEST_SKIP() << "strace is not installed";
  // The fourth key file cannot be renamed: the first three are put back.
  CommandResult run = with_fault(kRenames, "error=EPERM", "5", kKeygen);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("\"new V2.txt\" could not be replaced: Operation not permitted"), std::string::npos);
  EXPECT_NE(run.err.find("the previous key set is back in place"), std::string::npos) << run.err;
  EXPECT_TRUE(key_set() == old_set);
  EXPECT_EQ(list_dir(".").size(), 10u);
  // Every rename from the fifth on refused, the undo's too: the journal
  // stays, and the next program finishes the new set.
  run = with_fault(kRenames, "error=EPERM", "5+", kKeygen);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("the replacement was left unfinished"), std::string::npos) << run.err;
  EXPECT_TRUE(file_exists(".gf3mq.journal"));
  expect_whole_set();
  EXPECT_FALSE(key_set() == old_set);
  EXPECT_FALSE(file_exists(".gf3mq.journal"));
}

TEST_F(KeySetProgramTest, AThreadCountThatIsNotANumberChangesNothing) {
  const auto before = snapshot();
  for (const std::string value : {"abc", "0", "1025", "2000", "-1", " 2"}) {
    const CommandResult run = run_command("GF3MQ_THREADS='" + value + "' " + kKeygen);
    EXPECT_EQ(run.status, 2) << value;
    EXPECT_NE(run.err.find("GF3MQ_THREADS is \"" + value + "\""), std::string::npos) << run.err;
    EXPECT_EQ(snapshot(), before) << value;
  }
  for (const std::string value : {"1", "2", "1024", ""}) {
    EXPECT_EQ(run_command("GF3MQ_THREADS='" + value + "' " + kKeygen).status, 0) << value;
    expect_whole_set();
  }
}

TEST_F(KeySetProgramTest, AnImmutableKeyFileStopsKeygenBeforeAnyChange) {
  if (geteuid() != 0 || run_command("chattr +i 'new sk.txt'").status != 0)
    GTEST_SKIP() << "chattr +i needs root and a file system that has it";
  const CommandResult run = run_command(kKeygen);
  run_command("chattr -i 'new sk.txt'");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("\"new sk.txt\" cannot be replaced: Operation not permitted; no key set was made"),
            std::string::npos)
      << run.err;
  EXPECT_TRUE(key_set() == old_set);
  EXPECT_EQ(list_dir(".").size(), 10u);
}

TEST_F(KeySetProgramTest, AJournalThisUserCannotFinishIsNamedNotRead) {
  if (!have_strace()) GTEST_SKIP() << "strace is not installed";
  ASSERT_EQ(with_fault(kRenames, "signal=KILL", "4", kKeygen).status, 137);  // a mixed set and its journal
  const bool root = geteuid() == 0;
  const std::string lock = root ? "chattr +i '" + dir.path() + "'" : "chmod 0500 '" + dir.path() + "'";
  const std::string unlock = root ? "chattr -i '" + dir.path() + "'" : "chmod 0700 '" + dir.path() + "'";
  if (run_command(lock).status != 0) GTEST_SKIP() << "cannot make a folder unwritable here";
  const CommandResult demo = run_command(kDemo);
  run_command(unlock);
  EXPECT_EQ(demo.status, 1);
  EXPECT_EQ(demo.out, "");
  EXPECT_NE(demo.err.find("\".gf3mq.journal\" records a key generation that was interrupted"), std::string::npos)
      << demo.err;
  expect_whole_set();
}

TEST_F(KeySetProgramTest, WritersTakeTurnsAndReadersNeverSeeHalfASet) {
  for (int pair = 0; pair < 4; ++pair) {
    const CommandResult both =
        run_command(kKeygen + " >/dev/null & " + kKeygen + " >/dev/null; s=$?; wait $!; echo \"$s $?\"");
    EXPECT_EQ(both.out, "0 0\n") << both.err;
    expect_whole_set();
  }
  EXPECT_EQ(list_dir(".").size(), 10u);
  // Demos in a loop beside key generations in a loop, for two seconds.
  const CommandResult loop = run_command("end=$(($(date +%s) + 2)); (while [ $(date +%s) -lt $end ]; do " + kKeygen +
                                         " >/dev/null || echo keygen failed; done) & bad=0; runs=0; "
                                         "while [ $(date +%s) -lt $end ]; do " +
                                         kDemo +
                                         " >/dev/null || bad=$((bad + 1)); runs=$((runs + 1)); done; wait; "
                                         "echo \"$runs $bad\"");
  EXPECT_EQ(without_lock_notices(loop.err), "") << loop.err;
  EXPECT_EQ(loop.out.substr(loop.out.find(' ')), " 0\n") << loop.out;
  EXPECT_EQ(loop.out.find("keygen failed"), std::string::npos);
}

TEST_F(KeySetProgramTest, FilesFromAnotherKeyGenerationAreFoundOut) {
  const std::string other = dir.path() + "/other";
  ASSERT_EQ(run_command("mkdir other && cp new*Irredfx.txt other && cd other && " + kKeygen).status, 0);
  for (const char* name : {"new V2.txt", "new sk.txt", "new pk.txt"}) {
    const std::string ours = read_file(name);
    write_file(name, read_file(other + "/" + name));
    const CommandResult run = run_command(kDemo);
    EXPECT_EQ(run.status, 1) << name;
    EXPECT_NE(run.err.find("neither candidate encrypts back to the ciphertext: the key set is inconsistent"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.out.find("hello world!"), std::string::npos);
    write_file(name, ours);
  }
  expect_whole_set();
}

TEST_F(KeySetProgramTest, AChangedTableDigitIsRefusedByEveryProgram) {
  std::string table = read_file("new Xe_mod_Irredfx.txt");
  table[5 * 257 + 3] = table[5 * 257 + 3] == '1' ? '2' : '1';
  write_file("new Xe_mod_Irredfx.txt", table);
  const auto before = snapshot();
  for (const std::string& command : {kKeygen, kDemo, kTables + " --check"}) {
    const CommandResult run = run_command(command);
    EXPECT_EQ(run.status, 1) << command;
    EXPECT_NE(run.err.find("\"new Xe_mod_Irredfx.txt\" row 5 is not x^262 mod f"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "") << command;
  }
  EXPECT_TRUE(snapshot() == before);
}

TEST_F(KeySetProgramTest, OnlyRegularFilesAreReadAndNothingWaitsForThem) {
  const std::string saved = read_file("new sk.txt");
  std::remove("new sk.txt");
  const std::vector<std::pair<std::string, std::string>> impostors = {
      {"mkfifo 'new sk.txt'", "\"new sk.txt\" is a FIFO, not a regular file"},
      {"mkdir 'new sk.txt'", "\"new sk.txt\" is a directory, not a regular file"},
      {"ln -s 'new pk.txt' 'new sk.txt'", "\"new sk.txt\" is a symbolic link, not a regular file"}};
  for (const auto& [make, message] : impostors) {
    ASSERT_EQ(run_command(make).status, 0);
    const CommandResult run = run_command("timeout 20 " + kDemo);
    EXPECT_EQ(run.status, 1) << make;  // 124 would be a hang cut short
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    run_command("rm -rf 'new sk.txt'");
  }
  write_file("new sk.txt", saved);
  ASSERT_EQ(run_command("mv 'new X_27i_mod_Irredfx.txt' frobenius && mkfifo 'new X_27i_mod_Irredfx.txt'").status, 0);
  for (const std::string& command : {kKeygen, kTables + " --check"}) {
    const CommandResult run = run_command("timeout 20 " + command);
    EXPECT_EQ(run.status, 1) << command;
    EXPECT_NE(run.err.find("\"new X_27i_mod_Irredfx.txt\" is a FIFO"), std::string::npos) << run.err;
  }
}

TEST_F(KeySetProgramTest, AReadErrorIsReportedAsOneNotAsAShortFile) {
  if (!have_strace()) GTEST_SKIP() << "strace is not installed";
  const CommandResult run =
      run_command(kStrace + "-o /dev/null -P 'new sk.txt' -e trace=read -e inject=read:error=EIO " + kDemo);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("\"new sk.txt\" cannot be read: Input/output error"), std::string::npos) << run.err;
}

TEST_F(KeySetProgramTest, LostOutputIsAnError) {
  CommandResult run = run_command(kDemo + " >/dev/full");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("standard output could not be written: No space left on device"), std::string::npos)
      << run.err;
  run = run_command(kDemo + " >&-");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("standard output is closed"), std::string::npos) << run.err;
  run = run_command(kTables + " --check >/dev/full");
  EXPECT_EQ(run.status, 1);
  run = run_command(kKeygen + " >/dev/full");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("(the new key set is in place)"), std::string::npos) << run.err;
  EXPECT_FALSE(key_set() == old_set);
  expect_whole_set();
}

TEST_F(KeySetProgramTest, NothingInTheFolderIsOpenedForWritingByAReplaceableName) {
  if (!have_strace()) GTEST_SKIP() << "strace is not installed";
  const CommandResult run = run_command(kStrace + "-e trace=open,openat,creat -o trace.log " + kKeygen);
  ASSERT_EQ(run.status, 0);
  int writes = 0;
  std::istringstream trace(read_file("trace.log"));
  for (std::string line; std::getline(trace, line);) {
    const auto quote = line.find('"');
    if (quote == std::string::npos || line[quote + 1] == '/' || line.find("\".\"") != std::string::npos) continue;
    // A name in the key folder: created exclusively, or opened without
    // following a link.
    EXPECT_NE(line.find("O_NOFOLLOW"), std::string::npos) << line;
    if (line.find("O_WRONLY") != std::string::npos || line.find("O_RDWR") != std::string::npos ||
        line.find("O_CREAT") != std::string::npos) {
      EXPECT_NE(line.find("O_CREAT|O_EXCL"), std::string::npos) << line;
      ++writes;
    }
  }
  EXPECT_EQ(writes, 9);  // eight temporaries and the journal
}

TEST_F(KeySetProgramTest, WhenTheSystemRefusesThreadsFewerDoTheWork) {
  // Every thread refused (1+), or all but the first (2+): the forms are made
  // on the threads there are, by keygen and by the library's ring of forms
  // (this test binary again, on the composition test that uses it).
  if (!have_strace()) GTEST_SKIP() << "strace is not installed";
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  for (const std::string when : {"1+", "2+"}) {
    CommandResult run = with_fault("clone,clone3", "error=EAGAIN", when, "env GF3MQ_THREADS=3 " + kKeygen);
    EXPECT_EQ(run.status, 0) << when << ": " << run.err;
    expect_whole_set();
    run = with_fault("clone,clone3", "error=EAGAIN", when,
                     "env GF3MQ_THREADS=3 '" + self +
                         "' --gtest_filter=CompositionTest.OnePassCompositionEqualsProductThenOutputMap");
    EXPECT_EQ(run.status, 0) << when << ": " << run.out << run.err;
  }
}

TEST(TablesPairTest, AnInterruptedRunLeavesAPairTheNextRunCompletes) {
  if (!have_strace()) GTEST_SKIP() << "strace is not installed";
  ScratchDir dir;
  // Killed between the two links: one table, no temporaries after the next run.
  CommandResult run = with_fault("link,linkat", "signal=KILL", "2", kTables);
  ASSERT_EQ(run.status, 137);
  ASSERT_TRUE(file_exists("new Xe_mod_Irredfx.txt"));
  ASSERT_FALSE(file_exists("new X_27i_mod_Irredfx.txt"));
  run = run_command(kTables + " --check");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("\"new X_27i_mod_Irredfx.txt\" cannot be opened"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("writes the missing one"), std::string::npos) << run.err;
  run = run_command(kTables + " --poly 'x^257 + 2*x^91 + 1'");
  EXPECT_EQ(run.status, 1);  // another f: its pair would not match
  EXPECT_NE(run.err.find("run gf3mq-tables --poly 'x^257 + 2*x^22 + 1'"), std::string::npos) << run.err;
  run = run_command(kTables);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("wrote the missing one"), std::string::npos) << run.out;
  EXPECT_EQ(list_dir("."), (std::vector<std::string>{"new X_27i_mod_Irredfx.txt", "new Xe_mod_Irredfx.txt"}));
  EXPECT_EQ(run_command(kTables + " --check").status, 0);

  // Stopped by a signal while writing: nothing left at all.
  ScratchDir second;
  run = with_fault("fsync", "signal=INT", "1", kTables);
  EXPECT_EQ(run.status, 130);
  EXPECT_TRUE(list_dir(".").empty());
}

}  // namespace
