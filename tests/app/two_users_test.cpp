// Two local users in one folder that others may write, as /tmp is: the
// owner (uid 2001, or root) and another user (uid 2002). Whatever the other
// user leaves there, a journal, a lock, leftovers, is never obeyed, waited
// for without end or removed. Run as root through setpriv, in a scratch
// folder both users may enter, with the programs copied into it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

constexpr int kOwner = 2001;
constexpr int kOther = 2002;

class TwoUsersTest : public testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "acting as two other users (setpriv) needs root";
    if (run_command("command -v setpriv && command -v flock && command -v setsid && command -v pkill").status != 0)
      GTEST_SKIP() << "setpriv, flock, setsid or pkill is not installed";
    // Both users enter the scratch folder and run the programs from it (a
    // build under a home closed to them could not be run).
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(run_command("mkdir bin shared pids && chmod 1777 shared pids && cp '" + std::string(GF3MQ_BIN_DIR) +
                          "'/gf3mq-* bin/ && chmod 0755 bin bin/*")
                  .status,
              0);
  }
  void TearDown() override { release_lock(); }

  // Runs a shell script as uid (root for 0), from the scratch folder, bounded in time.
  CommandResult as(int uid, const std::string& script) {
    const std::string name = "script" + std::to_string(scripts++) + ".sh";
    write_file(name, "cd '" + dir.path() + "' || exit 99\n" + script + "\n");
    const std::string user =
        uid == 0 ? ""
                 : "setpriv --reuid=" + std::to_string(uid) + " --regid=" + std::to_string(uid) + " --clear-groups ";
    return run_command("timeout 120 " + user + "env LC_ALL=C sh '" + dir.path() + "/" + name + "'");
  }
  // A key set of uid in a folder of the scratch folder.
  void make_key_set(int uid, const std::string& folder) {
    const CommandResult run =
        as(uid, "bin/gf3mq-tables -C " + folder + " && bin/gf3mq-keygen -C " + folder + " --no-wait </dev/null");
    ASSERT_EQ(run.status, 0) << run.err;
  }
  // A journal of the other user that puts its own file in place of `victim`
  // (mode: the journal's, which the owner may or may not read).
  void plant_journal(const std::string& folder, const std::string& victim, const char* mode) {
    const CommandResult run = as(
        kOther, "cd " + folder +
                    " && echo planted > .gf3mq.tmp.EVIL00 && printf 'gf3mq key-set journal 1\\n%s\\t"
                    ".gf3mq.tmp.EVIL00\\t%s\\t-\\t0\\nend\\n' '" +
                    victim + "' $(stat -c %i .gf3mq.tmp.EVIL00) > .gf3mq.journal && chmod " + mode + " .gf3mq.journal");
    ASSERT_EQ(run.status, 0) << run.err;
  }
  // Starts the other user holding the folder's lock, as flock(1) does, in a
  // process group of its own, until release_lock.
  void hold_lock(const std::string& folder, const char* mode) {
    const CommandResult run = as(kOther, std::string("setsid flock ") + mode + " " + folder +
                                             " sleep 100 >/dev/null 2>&1 & echo $! > pids/lock; while flock -n -x " +
                                             folder + " true 2>/dev/null; do sleep 0.05; done");
    ASSERT_EQ(run.status, 0) << run.err;
  }
  void release_lock() {
    if (file_exists("pids/lock")) run_command("pkill -KILL -g $(cat pids/lock); rm -f pids/lock");
  }
  ScratchDir dir;
  int scripts = 0;
};

TEST_F(TwoUsersTest, AJournalOfAnotherUserIsNeverFollowed) {
  make_key_set(kOwner, "shared");
  ASSERT_EQ(as(kOwner, "echo thesis > shared/thesis.txt").status, 0);
  for (const char* mode : {"644", "600"}) {  // one the owner can read, and one it cannot even open
    plant_journal("shared", "thesis.txt", mode);
    const CommandResult run = as(kOwner, "bin/gf3mq-encrypt -C shared /dev/null");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("\".gf3mq.journal\" belongs to another user (uid 2002): it is not followed, and nothing "
                           "was changed"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(read_file("shared/thesis.txt"), "thesis\n");
  }

  // Root as the victim: the other user's file never becomes root's public key.
  ASSERT_EQ(run_command("mkdir rootkeys && chmod 1777 rootkeys").status, 0);
  make_key_set(0, "rootkeys");
  const std::string public_key = read_file("rootkeys/new pk.txt");
  plant_journal("rootkeys", "new pk.txt", "600");
  for (const std::string name : {"gf3mq-encrypt -C rootkeys /dev/null", "gf3mq-demo -C rootkeys --no-wait",
                                 "gf3mq-keygen -C rootkeys --no-wait"}) {
    const CommandResult again = as(0, "bin/" + name + " </dev/null");
    EXPECT_EQ(again.status, 1) << name;
    EXPECT_NE(again.err.find("\".gf3mq.journal\" belongs to another user (uid 2002)"), std::string::npos) << again.err;
  }
  struct stat info {};
  ASSERT_EQ(stat("rootkeys/new pk.txt", &info), 0);
  EXPECT_EQ(info.st_uid, 0u);
  EXPECT_TRUE(read_file("rootkeys/new pk.txt") == public_key);
}

TEST_F(TwoUsersTest, ALockOfAnotherUserIsWaitedForOnlySoLong) {
  make_key_set(kOwner, "shared");
  hold_lock("shared", "-x");
  CommandResult run = as(kOwner, "GF3MQ_LOCK_WAIT=2 bin/gf3mq-demo -C shared --no-wait");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("gf3mq-demo: waiting for the lock of the folder"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("is locked by another process (waited 2 s"), std::string::npos) << run.err;
  run = as(kOwner, "GF3MQ_LOCK_WAIT=0 bin/gf3mq-encrypt -C shared /dev/null");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.find("waiting"), std::string::npos) << "no wait at all";
  EXPECT_NE(run.err.find("is locked by another process (waited 0 s"), std::string::npos) << run.err;
  run = as(kOwner, "GF3MQ_LOCK_WAIT=soon bin/gf3mq-demo -C shared --no-wait");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("GF3MQ_LOCK_WAIT=\"soon\" is not a whole number of seconds"), std::string::npos) << run.err;

  // A shared lock held by a reader of the other user keeps key generation out, as long.
  release_lock();
  const std::string before = read_file("shared/new sk.txt");
  hold_lock("shared", "-s");
  run = as(kOwner, "GF3MQ_LOCK_WAIT=1 bin/gf3mq-keygen -C shared --no-wait");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("is locked by another process (waited 1 s"), std::string::npos) << run.err;
  EXPECT_EQ(read_file("shared/new sk.txt"), before);
}

TEST_F(TwoUsersTest, AFileOfAnotherUserAtAKeyNameStopsKeygenBeforeItTouchesAnything) {
  ASSERT_EQ(as(kOwner, "bin/gf3mq-tables -C shared").status, 0);
  ASSERT_EQ(as(kOther, "echo theirs > 'shared/new sk.txt' && chmod 666 'shared/new sk.txt'").status, 0);
  const std::vector<std::string> before = list_dir("shared");
  const CommandResult run = as(kOwner, "bin/gf3mq-keygen -C shared --no-wait </dev/null");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("\"new sk.txt\" belongs to another user (uid 2002) and cannot be replaced: it is left as it "
                         "is; no key set was made"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(list_dir("shared"), before);  // no backup, temporary or journal
  EXPECT_EQ(read_file("shared/new sk.txt"), "theirs\n");
}

TEST_F(TwoUsersTest, LeftoversOfAnotherUserStayAndTheOpenFolderIsWarnedAbout) {
  make_key_set(kOwner, "shared");
  ASSERT_EQ(as(kOther, "echo x > shared/.gf3mq.tmp.THEIRS && echo x > shared/.gf3mq.bak.THEIRS").status, 0);
  CommandResult run = as(kOwner, "bin/gf3mq-keygen -C shared --no-wait </dev/null");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("warning: group or others may write the folder"), std::string::npos) << run.err;
  EXPECT_TRUE(file_exists("shared/.gf3mq.tmp.THEIRS"));
  EXPECT_TRUE(file_exists("shared/.gf3mq.bak.THEIRS"));
  run = as(kOwner, "bin/gf3mq-check -C shared");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("FAIL  group or others may write the folder \"" + dir.path() + "/shared\" (mode 1777)"),
            std::string::npos)
      << run.out;
}

}  // namespace
