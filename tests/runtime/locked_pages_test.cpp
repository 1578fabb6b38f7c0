// Secret pages out of swap: a LockedPages locks its buffer while it lives
// and leaves it as it found it; where the system refuses, the buffer is used
// unlocked and key generation and decryption go on all the same.
#include "runtime/locked_pages.h"

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <new>
#include <string>

#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

// VmLck of this process, in kB.
long locked_kb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmLck:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

// Takes CAP_IPC_LOCK from this process and lets it lock nothing.
void forbid_locking() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2]{};
  if (syscall(SYS_capget, &header, data) != 0) std::exit(3);
  data[0].effective &= ~(1u << CAP_IPC_LOCK);
  if (syscall(SYS_capset, &header, data) != 0) std::exit(4);
  const rlimit none{0, 0};
  if (setrlimit(RLIMIT_MEMLOCK, &none) != 0) std::exit(5);
}

constexpr std::size_t kBytes = 16 * 4096;

// AddressSanitizer's mlock locks nothing and always succeeds; its builds
// (this test and the programs) cannot show what is locked.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitizerBuild = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitizerBuild = true;
#else
constexpr bool kSanitizerBuild = false;
#endif
#else
constexpr bool kSanitizerBuild = false;
#endif

class LockedPagesTest : public testing::Test {
 protected:
  void SetUp() override {
    if (kSanitizerBuild) GTEST_SKIP() << "the sanitizer's mlock locks nothing";
  }
};

TEST_F(LockedPagesTest, LocksWhileItLivesAndWipesTheBufferBeforeUnlocking) {
  auto* buffer = static_cast<unsigned char*>(::operator new (kBytes, std::align_val_t{4096}));
  for (std::size_t i = 0; i < kBytes; ++i) buffer[i] = static_cast<unsigned char>(i % 3);
  const long before = locked_kb();
  {
    const gf3mq::LockedPages locked(buffer, kBytes);
    if (!locked.locked()) GTEST_SKIP() << "this process may not lock memory";
    EXPECT_GE(locked_kb(), before + static_cast<long>(kBytes / 1024));
  }
  EXPECT_EQ(locked_kb(), before);
  bool wiped = true;  // before the pages could reach swap
  for (std::size_t i = 0; i < kBytes; ++i) wiped = wiped && buffer[i] == 0;
  EXPECT_TRUE(wiped);
  ::operator delete (buffer, std::align_val_t{4096});
}

TEST_F(LockedPagesTest, WhereTheSystemRefusesTheBufferIsUsedUnlocked) {
  EXPECT_EXIT(
      {
        forbid_locking();
        static unsigned char buffer[kBytes];
        const gf3mq::LockedPages locked(buffer, kBytes);
        buffer[0] = 1;
        std::exit(locked.locked() ? 1 : 0);
      },
      testing::ExitedWithCode(0), "");
}

// Runs command with RLIMIT_MEMLOCK 0 and without CAP_IPC_LOCK.
std::string unable_to_lock(const std::string& command) {
  return "prlimit --memlock=0:0 setpriv --bounding-set=-ipc_lock --inh-caps=-ipc_lock " + command;
}

TEST_F(LockedPagesTest, KeyGenerationAndDecryptionLockTheirSecretsOrGoOnWithout) {
  if (!have_strace()) GTEST_SKIP() << "strace is not installed";
  if (run_command("command -v prlimit && command -v setpriv").status != 0)
    GTEST_SKIP() << "prlimit or setpriv (util-linux) is not installed";
  ScratchDir dir;
  ASSERT_EQ(run_command(program("gf3mq-tables") + " --degree 7").status, 0);
  // The two maps, two vectors, two inverses and the corrections; then the
  // corrections, two inverses and two vectors of decryption.
  CommandResult run = run_command(kStrace + "-e trace=mlock -o locks.txt " + program("gf3mq-keygen") +
                                  " --no-wait </dev/null >/dev/null && grep -c '= 0$' locks.txt");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_GE(std::stoi(run.out), 7) << read_file("locks.txt");
  write_file("plain.txt", "1212121\n");
  run =
      run_command(program("gf3mq-encrypt") + " plain.txt > cipher.txt && " + kStrace + "-e trace=mlock -o locks.txt " +
                  program("gf3mq-decrypt") + " --both cipher.txt > both.txt && grep -c '= 0$' locks.txt");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(read_file("both.txt").find("1212121\n"), std::string::npos) << read_file("both.txt");
  EXPECT_GE(std::stoi(run.out), 5) << read_file("locks.txt");
  // Where nothing may be locked, the same programs succeed.
  run = run_command(kStrace + "-e trace=mlock -o refused.txt " + unable_to_lock(program("gf3mq-keygen")) +
                    " --no-wait </dev/null >/dev/null && " + program("gf3mq-encrypt") + " plain.txt > cipher.txt && " +
                    unable_to_lock(program("gf3mq-decrypt")) + " --both cipher.txt");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("1212121\n"), std::string::npos) << run.out;
  EXPECT_NE(read_file("refused.txt").find("mlock("), std::string::npos);
  EXPECT_EQ(read_file("refused.txt").find("= 0\n"), std::string::npos) << read_file("refused.txt");
}

}  // namespace
