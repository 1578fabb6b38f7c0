#include "files/temp_file.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <utility>

namespace gf3mq {

namespace {

// Names to remove on a termination signal, each with the folder it lies
// in. Written only with the signals blocked; the handler reads them.
constexpr int kSlots = 32;
constexpr std::size_t kNameBytes = 64;
char removal_names[kSlots][kNameBytes];
int removal_folders[kSlots];
volatile sig_atomic_t removal_used[kSlots];
bool handler_installed = false;

constexpr int kTerminationSignals[] = {SIGINT, SIGTERM, SIGHUP};

void remove_and_end(int signal_number) {
  for (int i = 0; i < kSlots; ++i)
    if (removal_used[i]) unlinkat(removal_folders[i], removal_names[i], 0);
  // The usual end for this signal: default action, raised again; it is
  // delivered when the handler returns and unblocks it.
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}

void install_handler() {
  if (handler_installed) return;
  handler_installed = true;
  for (int s : kTerminationSignals) {
    struct sigaction old {};
    if (sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;  // e.g. nohup
    struct sigaction action {};
    action.sa_handler = remove_and_end;
    sigemptyset(&action.sa_mask);
    for (int t : kTerminationSignals) sigaddset(&action.sa_mask, t);
    sigaction(s, &action, nullptr);
  }
}

const char kNameLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

}  // namespace

int register_for_removal(int dir_fd, const std::string& name) {
  if (name.size() >= kNameBytes) return -1;
  TerminationSignalsBlocked blocked;
  install_handler();
  for (int i = 0; i < kSlots; ++i) {
    if (removal_used[i]) continue;
    std::memcpy(removal_names[i], name.c_str(), name.size() + 1);
    removal_folders[i] = dir_fd;
    removal_used[i] = 1;
    return i;
  }
  return -1;
}

void unregister_for_removal(int slot) {
  if (slot < 0 || slot >= kSlots) return;
  TerminationSignalsBlocked blocked;
  removal_used[slot] = 0;
}

TerminationSignalsBlocked::TerminationSignalsBlocked() {
  sigset_t block;
  sigemptyset(&block);
  for (int s : kTerminationSignals) sigaddset(&block, s);
  pthread_sigmask(SIG_BLOCK, &block, &saved_);
}

TerminationSignalsBlocked::~TerminationSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }

mode_t public_file_mode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

std::string fresh_name(const char* prefix) {
  unsigned char random[6];
  std::size_t have = 0;
  while (have < sizeof random) {
    const ssize_t got = getrandom(random + have, sizeof random - have, 0);
    if (got > 0) {
      have += static_cast<std::size_t>(got);
    } else if (got < 0 && errno != EINTR) {
      // No generator: a name from the clock and a count will do, as every
      // name is created with O_EXCL and another is tried when it is taken.
      static std::atomic<std::uint64_t> count{0};
      std::uint64_t mix = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                          (count++ * 0x9E3779B97F4A7C15ull);
      for (; have < sizeof random; ++have, mix >>= 8) random[have] = static_cast<unsigned char>(mix);
    }
  }
  std::string name = prefix;
  for (unsigned char r : random) name += kNameLetters[r % (sizeof kNameLetters - 1)];
  return name;
}

TempFile::TempFile(TempFile&& other) noexcept { *this = std::move(other); }

TempFile& TempFile::operator=(TempFile&& other) noexcept {
  if (this != &other) {
    discard();
    fd_ = std::exchange(other.fd_, -1);
    dir_fd_ = std::exchange(other.dir_fd_, -1);
    slot_ = std::exchange(other.slot_, -1);
    inode_ = other.inode_;
    dir_ = std::move(other.dir_);
    name_ = std::exchange(other.name_, {});
  }
  return *this;
}

TempFile::~TempFile() { discard(); }

std::string TempFile::path() const { return dir_ == "." ? name_ : dir_ + "/" + name_; }

bool TempFile::create_in(const std::string& dir, const std::string& for_file, mode_t mode, FileProblem* problem) {
  discard();
  dir_ = dir;
  dir_fd_ = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (int attempt = 0; dir_fd_ >= 0 && attempt < 100; ++attempt) {
    std::string name = fresh_name(kTempPrefix);
    // Created and registered with the signals blocked, so that a signal
    // cannot come between the two.
    TerminationSignalsBlocked blocked;
    fd_ = openat(dir_fd_, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd_ < 0 && errno == EEXIST) continue;
    if (fd_ < 0) break;
    name_ = std::move(name);
    slot_ = register_for_removal(dir_fd_, name_);
    struct stat info {};
    // Why the new temporary cannot be used: the failed call's own error.
    std::string why;
    if (slot_ < 0) {
      why = "more temporaries are open at once than a signal could remove";
    } else if (fstat(fd_, &info) != 0 || (mode != 0600 && fchmod(fd_, mode) != 0)) {
      why = error_text(errno);
    }
    inode_ = info.st_ino;
    if (why.empty()) return true;
    discard();
    return report_problem(problem, for_file, "cannot be written: " + why);
  }
  const int error = errno;
  keep();  // nothing was created: the folder's descriptor goes
  return report_problem(problem, for_file, "cannot be written: " + error_text(error));
}

bool TempFile::sync_and_close(const std::string& for_file, FileProblem* problem) {
  int error = fd_ < 0 ? EBADF : 0;
  if (fd_ >= 0 && fsync(fd_) != 0) error = errno;
  if (fd_ >= 0 && close(fd_) != 0 && error == 0) error = errno;
  fd_ = -1;
  return error == 0 || report_problem(problem, for_file, "could not be written completely: " + error_text(error));
}

bool TempFile::still_at_its_name() const {
  struct stat info {};
  return !name_.empty() && fstatat(dir_fd_, name_.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
         info.st_ino == inode_;
}

void TempFile::keep() {
  if (const int fd = std::exchange(fd_, -1); fd >= 0) close(fd);
  unregister_for_removal(std::exchange(slot_, -1));
  if (const int dir_fd = std::exchange(dir_fd_, -1); dir_fd >= 0) close(dir_fd);
  name_.clear();
}

bool TempFile::discard() {
  const bool removed = name_.empty() || unlinkat(dir_fd_, name_.c_str(), 0) == 0 || errno == ENOENT;
  const int error = errno;
  keep();  // what is left of it: the descriptors and the registration
  errno = error;
  return removed;
}

}  // namespace gf3mq
