#include "files/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "files/folder.h"

namespace gf3mq {

namespace {

// The whole-number value of text, if it is one from 0 to kMaxLockWaitSeconds
// (from_chars takes no "+", and nothing from an empty text).
bool parse_seconds(const char* text, int& seconds) {
  const char* end = text + std::strlen(text);
  const auto [stop, error] = std::from_chars(text, end, seconds);
  return error == std::errc{} && stop == end && text[0] != '-' && seconds <= kMaxLockWaitSeconds;
}

}  // namespace

int lock_wait_seconds() {
  const char* text = std::getenv("GF3MQ_LOCK_WAIT");
  int seconds = 0;
  return text != nullptr && parse_seconds(text, seconds) ? seconds : kDefaultLockWaitSeconds;
}

std::string lock_wait_problem() {
  const char* text = std::getenv("GF3MQ_LOCK_WAIT");
  int seconds = 0;
  if (text == nullptr || *text == '\0' || parse_seconds(text, seconds)) return {};
  return "GF3MQ_LOCK_WAIT=\"" + std::string(text) + "\" is not a whole number of seconds from 0 to " +
         std::to_string(kMaxLockWaitSeconds);
}

FolderLock::~FolderLock() { release(); }

bool FolderLock::acquire(Mode mode, FileProblem* problem) {
  using Clock = std::chrono::steady_clock;
  if (fd_ < 0) fd_ = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) return report_problem(problem, working_directory(), "cannot be locked: " + error_text(errno));
  const int operation = (mode == Mode::shared ? LOCK_SH : LOCK_EX) | LOCK_NB;
  const Clock::time_point start = Clock::now(), deadline = start + std::chrono::seconds(wait_.seconds);
  bool noticed = false;
  std::chrono::milliseconds pause(1);
  for (;;) {
    if (flock(fd_, operation) == 0) return true;
    const int error = errno;
    if (error == EINTR) continue;
    if (error != EWOULDBLOCK) {
      release();
      return report_problem(problem, working_directory(), "cannot be locked: " + error_text(error));
    }
    const Clock::time_point now = Clock::now();
    if (now >= deadline) {
      release();
      return report_problem(problem, working_directory(),
                            "is locked by another process (waited " + std::to_string(wait_.seconds) +
                                " s for it; GF3MQ_LOCK_WAIT sets how long); nothing was changed");
    }
    if (!noticed && now - start >= std::chrono::seconds(1)) {
      noticed = true;
      if (wait_.notice)
        wait_.notice("waiting for the lock of the folder \"" + working_directory() +
                     "\", which another process holds (at most " + std::to_string(wait_.seconds) + " s)");
    }
    std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
    pause = std::min(2 * pause, std::chrono::milliseconds(50));
  }
}

void FolderLock::release() {
  if (fd_ >= 0) close(fd_);  // closing the last descriptor releases the lock
  fd_ = -1;
}

}  // namespace gf3mq
