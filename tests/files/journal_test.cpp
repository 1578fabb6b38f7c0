// Replacing a set of files as a whole: the journal finished forward or back
// from every state a killed run can leave, refusals that change nothing,
// temporaries removed on termination signals, leftovers, and the folder lock.
#include "files/journal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <map>

#include "files/folder_lock.h"
#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

// The names a replacement in these tests may put in place.
const std::vector<std::string> kNames = {"a", "b", "c"};

ino_t inode_of(const std::string& name) {
  struct stat info {};
  return lstat(name.c_str(), &info) == 0 ? info.st_ino : 0;
}

std::map<std::string, std::string> snapshot() {
  std::map<std::string, std::string> files;
  for (const std::string& name : list_dir(".")) files[name] = read_file(name);
  return files;
}

// The folder as a replacement of "a" and "b" (which exist) and "c" (new)
// leaves it once its journal is committed: temporaries, backups, journal.
struct Scene {
  const std::string final_name[3] = {"a", "b", "c"};
  const std::string temp[3] = {".gf3mq.tmp.AAAAAA", ".gf3mq.tmp.BBBBBB", ".gf3mq.tmp.CCCCCC"};
  const std::string backup[3] = {".gf3mq.bak.AAAAAA", ".gf3mq.bak.BBBBBB", ""};

  Scene() {
    write_file("a", "old a");
    write_file("b", "old b");
    std::string journal = "gf3mq key-set journal 1\n";
    for (int i = 0; i < 3; ++i) {
      write_file(temp[i], "new " + final_name[i]);
      if (!backup[i].empty()) link(final_name[i].c_str(), backup[i].c_str());
      journal += final_name[i] + "\t" + temp[i] + "\t" + std::to_string(inode_of(temp[i])) + "\t" +
                 (backup[i].empty() ? "-" : backup[i]) + "\t" + std::to_string(inode_of(final_name[i])) + "\n";
    }
    write_file(".gf3mq.journal", journal + "end\n");
  }
  void rename_forward(int i) const { ASSERT_EQ(rename(temp[i].c_str(), final_name[i].c_str()), 0); }
  void restore(int i) const { ASSERT_EQ(rename(backup[i].c_str(), final_name[i].c_str()), 0); }
};

TEST(KeySetJournalTest, FinishesForwardFromAnyNumberOfRenames) {
  for (int done = 0; done <= 3; ++done) {
    ScratchDir dir;
    Scene scene;
    for (int i = 0; i < done; ++i) scene.rename_forward(i);
    gf3mq::FileProblem problem;
    ASSERT_TRUE(gf3mq::finish_unfinished_replacement(kNames, &problem)) << problem.message();
    EXPECT_EQ(list_dir("."), (std::vector<std::string>{"a", "b", "c"})) << done;
    EXPECT_EQ(read_file("a") + read_file("b") + read_file("c"), "new anew bnew c") << done;
    EXPECT_FALSE(gf3mq::journal_present());
  }
}

TEST(KeySetJournalTest, FinishesBackWhenAnUndoWasInterrupted) {
  // All three renamed, then the undo restored "a" and was killed.
  ScratchDir dir;
  Scene scene;
  for (int i = 0; i < 3; ++i) scene.rename_forward(i);
  scene.restore(0);
  ASSERT_TRUE(gf3mq::finish_unfinished_replacement(kNames, nullptr));
  EXPECT_EQ(list_dir("."), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(read_file("a") + read_file("b"), "old aold b");
}

TEST(KeySetJournalTest, RefusesJournalsItCannotFinishAndChangesNothing) {
  ScratchDir dir;
  Scene scene;
  // "a" is new and its backup gone; "b" is old and its temporary gone:
  // neither way leads to a whole set.
  scene.rename_forward(0);
  std::remove(scene.backup[0].c_str());
  std::remove(scene.temp[1].c_str());
  const auto before = snapshot();
  gf3mq::FileProblem problem;
  EXPECT_FALSE(gf3mq::finish_unfinished_replacement(kNames, &problem));
  EXPECT_EQ(problem.file, ".gf3mq.journal");
  EXPECT_NE(problem.problem.find("the files it names are gone"), std::string::npos) << problem.problem;
  EXPECT_TRUE(snapshot() == before);

  write_file(".gf3mq.journal", "gf3mq key-set journal 1\na\t/etc/passwd\t1\t-\t0\nend\n");
  EXPECT_FALSE(gf3mq::finish_unfinished_replacement(kNames, &problem));
  EXPECT_NE(problem.problem.find("names \"/etc/passwd\" as a temporary"), std::string::npos) << problem.problem;
  write_file(".gf3mq.journal", "gf3mq key-set journal 1\n");  // torn: no "end"
  EXPECT_FALSE(gf3mq::finish_unfinished_replacement(kNames, &problem));
  EXPECT_TRUE(gf3mq::journal_present());
}

// The journal's text with `from` replaced by `to` once.
void edit_journal(const std::string& from, const std::string& to) {
  std::string text = read_file(".gf3mq.journal");
  const auto at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  write_file(".gf3mq.journal", text.replace(at, from.size(), to));
}

// Replaces the file at name by another with the same content: a new inode
// (made while the old one still exists, so that its number is not reused).
void replace_by_copy(const std::string& name) {
  write_file(name + ".copy", read_file(name));
  ASSERT_EQ(rename((name + ".copy").c_str(), name.c_str()), 0);
}

TEST(KeySetJournalTest, AJournalThisUserDidNotWriteWhollyIsNotFollowed) {
  const bool root = geteuid() == 0;
  struct Case {
    const char* what;
    std::function<void(const Scene&)> change;
    const char* says;
  };
  const std::vector<Case> cases = {
      {"open to others", [](const Scene&) { chmod(".gf3mq.journal", 0666); }, "may be written by group or others"},
      {"open to the group", [](const Scene&) { chmod(".gf3mq.journal", 0620); }, "may be written by group or others"},
      {"a link", [](const Scene&) { rename(".gf3mq.journal", "j"), symlink("j", ".gf3mq.journal"); },
       "is a symbolic link"},
      {"another user's", [](const Scene&) { (void)!chown(".gf3mq.journal", 2002, 2002); },
       "belongs to another user (uid 2002)"},
      {"a name outside the set", [](const Scene&) { edit_journal("\na\t", "\nthesis.txt\t"); },
       "names \"thesis.txt\", which is not a file of the key set"},
      {"a temporary in another folder", [](const Scene& s) { edit_journal(s.temp[0], "sub/" + s.temp[0]); },
       "as a temporary"},
      {"a backup under another name", [](const Scene& s) { edit_journal(s.backup[1], "b.old"); }, "as a backup"},
      // The file it names is the very one recorded, but under a name no
      // replacement gives a temporary: a file of the user's own, not one of ours.
      {"a temporary under another name",
       [](const Scene& s) { rename(s.temp[1].c_str(), "b.draft"), edit_journal(s.temp[1], "b.draft"); },
       "names \"b.draft\" as a temporary"},
      {"a temporary in a folder named like one",
       [](const Scene& s) {
         mkdir(".gf3mq.tmp.folder", 0700);
         rename(s.temp[1].c_str(), ".gf3mq.tmp.folder/b"), edit_journal(s.temp[1], ".gf3mq.tmp.folder/b");
       },
       "names \".gf3mq.tmp.folder/b\" as a temporary"},
      {"a temporary replaced", [](const Scene& s) { replace_by_copy(s.temp[1]); },
       "names the temporary \".gf3mq.tmp.BBBBBB\", which is not the file it recorded"},
      {"a backup replaced", [](const Scene& s) { replace_by_copy(s.backup[0]); },
       "names the backup \".gf3mq.bak.AAAAAA\", which is not the file it recorded"},
      {"another user's temporary", [](const Scene& s) { (void)!chown(s.temp[2].c_str(), 2002, 2002); },
       "names the temporary \".gf3mq.tmp.CCCCCC\""},
  };
  for (const Case& c : cases) {
    if (!root && std::string(c.what).find("user") != std::string::npos) continue;  // chown needs root
    ScratchDir dir;
    Scene scene;
    scene.rename_forward(0);
    c.change(scene);
    const auto before = snapshot();
    gf3mq::FileProblem problem;
    EXPECT_FALSE(gf3mq::finish_unfinished_replacement(kNames, &problem)) << c.what;
    EXPECT_EQ(problem.file, ".gf3mq.journal") << c.what;
    EXPECT_NE(problem.problem.find(c.says), std::string::npos) << c.what << ": " << problem.problem;
    EXPECT_NE(problem.problem.find("it is not followed, and nothing was changed"), std::string::npos) << c.what;
    EXPECT_TRUE(snapshot() == before) << c.what;
  }
}

TEST(KeySetJournalTest, NumbersAreDigitsOnlyAndATornJournalIsDamaged) {
  for (const std::string damage : {"+", " ", "x", "-", "torn", "after end"}) {
    ScratchDir dir;
    Scene scene;
    const std::string inode = std::to_string(inode_of(scene.temp[1]));
    if (damage == "torn") {
      edit_journal("end\n", "");  // entries, but no "end": the run was killed while writing it
    } else if (damage == "after end") {
      edit_journal("end\n", "end\nc\t.gf3mq.tmp.CCCCCC\t1\t-\t0\n");  // "end" is the last line written
    } else if (damage == "x") {
      edit_journal("\t" + inode + "\t", "\t" + inode + "x\t");
    } else {
      edit_journal("\t" + inode + "\t", "\t" + damage + inode + "\t");
    }
    const auto before = snapshot();
    gf3mq::FileProblem problem;
    EXPECT_FALSE(gf3mq::finish_unfinished_replacement(kNames, &problem)) << damage;
    EXPECT_NE(problem.problem.find("is damaged"), std::string::npos) << damage << ": " << problem.problem;
    EXPECT_TRUE(snapshot() == before) << damage;
  }
}

TEST(KeySetJournalTest, AFolderThisUserCannotWriteGetsARefusalNamingTheJournal) {
  ScratchDir dir;
  Scene scene;
  scene.rename_forward(0);
  const bool root = geteuid() == 0;
  const std::string lock = root ? "chattr +i '" + dir.path() + "'" : "chmod 0500 '" + dir.path() + "'";
  const std::string unlock = root ? "chattr -i '" + dir.path() + "'" : "chmod 0700 '" + dir.path() + "'";
  if (run_command(lock).status != 0) GTEST_SKIP() << "cannot make a folder unwritable here";
  const auto before = snapshot();
  gf3mq::FileProblem problem;
  const bool finished = gf3mq::finish_unfinished_replacement(kNames, &problem);
  run_command(unlock);
  EXPECT_FALSE(finished);
  EXPECT_EQ(problem.file, ".gf3mq.journal");
  EXPECT_NE(problem.problem.find("cannot be finished here"), std::string::npos) << problem.problem;
  EXPECT_TRUE(snapshot() == before);
  EXPECT_TRUE(gf3mq::finish_unfinished_replacement(kNames, nullptr));  // writable again
  EXPECT_EQ(read_file("b"), "new b");
}

std::vector<gf3mq::NewFile> new_files(const std::vector<const char*>& names) {
  std::vector<gf3mq::NewFile> files;
  for (const char* name : names) {
    gf3mq::NewFile file{name, {}};
    EXPECT_TRUE(file.temp.create(name, 0600, nullptr));
    const std::string text = std::string("new ") + name;
    EXPECT_EQ(write(file.temp.fd(), text.data(), text.size()), static_cast<ssize_t>(text.size()));
    EXPECT_TRUE(file.temp.sync_and_close(name, nullptr));
    files.push_back(std::move(file));
  }
  return files;
}

TEST(KeySetReplaceTest, PutsEveryFileInPlaceAndLeavesNothingElse) {
  ScratchDir dir;
  write_file("a", "old a");
  auto files = new_files({"a", "b"});
  EXPECT_EQ(gf3mq::replace_as_a_whole(files, nullptr), gf3mq::Replacement::done);
  EXPECT_EQ(list_dir("."), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(read_file("a") + read_file("b"), "new anew b");
  struct stat info {};
  ASSERT_EQ(stat("b", &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(KeySetReplaceTest, ANameHeldByAFolderStopsItBeforeAnyRename) {
  ScratchDir dir;
  write_file("a", "old a");
  ASSERT_EQ(mkdir("b", 0700), 0);
  auto files = new_files({"a", "b"});
  gf3mq::FileProblem problem;
  EXPECT_EQ(gf3mq::replace_as_a_whole(files, &problem), gf3mq::Replacement::not_started);
  EXPECT_EQ(problem.message(), "\"b\" is not a regular file and cannot be replaced");
  files.clear();  // the temporaries go with them
  EXPECT_EQ(list_dir("."), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(read_file("a"), "old a");
}

TEST(KeySetReplaceTest, LeftoversOfKilledRunsAreRemovedAndNothingElse) {
  ScratchDir dir;
  for (const char* name : {".gf3mq.tmp.x1y2z3", ".gf3mq.bak.abcdef", "new pk.txt", ".gf3mq-other"})
    write_file(name, "x");
  ASSERT_EQ(mkdir(".gf3mq.tmp.folder", 0700), 0);
  std::vector<std::string> kept = {".gf3mq-other", ".gf3mq.tmp.folder", "new pk.txt"};
  if (geteuid() == 0) {  // another user's leftover is theirs
    write_file(".gf3mq.bak.theirs", "x");
    ASSERT_EQ(chown(".gf3mq.bak.theirs", 2002, 2002), 0);
    kept.insert(kept.begin() + 1, ".gf3mq.bak.theirs");
  }
  EXPECT_TRUE(gf3mq::remove_leftovers(nullptr));
  EXPECT_EQ(list_dir("."), kept);
}

TEST(TempFileDeathTest, TerminationSignalsRemoveTemporariesAndEndTheProcess) {
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    ScratchDir dir;
    EXPECT_EXIT(
        {
          gf3mq::TempFile a;
          gf3mq::TempFile b;
          a.create("a", 0600, nullptr);
          b.create("b", 0600, nullptr);
          raise(signal_number);
        },
        testing::KilledBySignal(signal_number), "");
    EXPECT_TRUE(list_dir(".").empty()) << signal_number;
  }
}

TEST(TempFileDeathTest, BlockedSignalsWaitAndKeptFilesStay) {
  ScratchDir dir;
  EXPECT_EXIT(
      {
        gf3mq::TempFile a;
        a.create("a", 0600, nullptr);
        {
          gf3mq::TerminationSignalsBlocked blocked;
          raise(SIGTERM);
          a.keep();  // reached: the signal waits for the block to end
        }
        std::exit(0);
      },
      testing::KilledBySignal(SIGTERM), "");
  ASSERT_EQ(list_dir(".").size(), 1u);
  EXPECT_EQ(list_dir(".")[0].rfind(".gf3mq.tmp.", 0), 0u);
}

TEST(FolderLockTest, AnExclusiveLockKeepsOthersOutUntilReleased) {
  ScratchDir dir;
  int ready[2], go[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(go), 0);
  const pid_t child = fork();
  if (child == 0) {
    gf3mq::FolderLock lock;
    const bool locked = lock.acquire(gf3mq::FolderLock::Mode::exclusive, nullptr);
    char byte = locked ? 'y' : 'n';
    (void)!write(ready[1], &byte, 1);
    (void)!read(go[0], &byte, 1);
    _exit(0);
  }
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  ASSERT_EQ(byte, 'y');
  const int fd = open(".", O_RDONLY | O_DIRECTORY);
  EXPECT_NE(flock(fd, LOCK_SH | LOCK_NB), 0);
  (void)!write(go[1], &byte, 1);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(flock(fd, LOCK_SH | LOCK_NB), 0);
  gf3mq::FolderLock shared;
  EXPECT_TRUE(shared.acquire(gf3mq::FolderLock::Mode::shared, nullptr));  // shared locks coexist
  close(fd);
  for (int p : {ready[0], ready[1], go[0], go[1]}) close(p);
}

TEST(FolderLockTest, ALockHeldElsewhereIsWaitedForOnlySoLong) {
  ScratchDir dir;
  int ready[2], go[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(go), 0);
  const pid_t child = fork();
  if (child == 0) {  // holds the lock as flock(1) would, until told
    const int fd = open(".", O_RDONLY | O_DIRECTORY);
    char byte = flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
    (void)!write(ready[1], &byte, 1);
    (void)!read(go[0], &byte, 1);
    _exit(0);
  }
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  ASSERT_EQ(byte, 'y');
  for (int seconds : {0, 1, 2}) {
    std::vector<std::string> notices;
    gf3mq::FolderLock lock(gf3mq::LockWait{seconds, [&](const std::string& what) { notices.push_back(what); }});
    gf3mq::FileProblem problem;
    EXPECT_FALSE(lock.acquire(gf3mq::FolderLock::Mode::shared, &problem)) << seconds;
    EXPECT_FALSE(lock.held());
    EXPECT_NE(problem.message().find("is locked by another process (waited " + std::to_string(seconds) + " s"),
              std::string::npos)
        << problem.message();
    EXPECT_NE(problem.message().find("nothing was changed"), std::string::npos);
    // Said once, after a second of waiting; not at all when the wait is over
    // by then, whatever the machine's speed: the deadline is checked first.
    // (EXPECT, not ASSERT: the holder must still be told to go, or the test hangs.)
    EXPECT_EQ(notices.size(), seconds <= 1 ? 0u : 1u) << seconds;
    if (seconds != 0 && !notices.empty()) {
      EXPECT_NE(notices[0].find("waiting for the lock of the folder"), std::string::npos);
    }
  }
  (void)!write(go[1], &byte, 1);
  int status = 0;
  waitpid(child, &status, 0);
  gf3mq::FolderLock lock(gf3mq::LockWait{0, {}});
  EXPECT_TRUE(lock.acquire(gf3mq::FolderLock::Mode::exclusive, nullptr));  // free again: no wait needed
  for (int p : {ready[0], ready[1], go[0], go[1]}) close(p);
}

TEST(FolderLockTest, TheWaitComesFromTheEnvironmentAndOnlyWholeSecondsAreTaken) {
  const char* saved = std::getenv("GF3MQ_LOCK_WAIT");
  const std::string restore = saved != nullptr ? saved : "";
  for (const char* good : {"0", "7", "86400"}) {
    setenv("GF3MQ_LOCK_WAIT", good, 1);
    EXPECT_EQ(gf3mq::lock_wait_problem(), "") << good;
    EXPECT_EQ(gf3mq::lock_wait_seconds(), std::atoi(good)) << good;
  }
  for (const char* bad : {"-1", "+5", "5s", " 5", "1.5", "86401", "x"}) {
    setenv("GF3MQ_LOCK_WAIT", bad, 1);
    EXPECT_NE(gf3mq::lock_wait_problem(), "") << bad;
    EXPECT_EQ(gf3mq::lock_wait_seconds(), gf3mq::kDefaultLockWaitSeconds) << bad;
  }
  if (saved != nullptr) {
    setenv("GF3MQ_LOCK_WAIT", restore.c_str(), 1);
  } else {
    unsetenv("GF3MQ_LOCK_WAIT");
  }
}

}  // namespace
