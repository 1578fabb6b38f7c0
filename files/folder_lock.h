// The lock that orders the writers and readers of a folder's files:
// flock(2) on the folder's own descriptor, so that no lock file appears.
// Writers hold it exclusively while they replace files; readers hold it
// shared while they read. Programs take it, never library routines, so that
// a program holding a shared lock cannot deadlock against itself.
//
// Anyone who can open the folder can take a flock on it, so a lock held by
// another process is waited for only so long: LockWait bounds the wait.
#pragma once

#include <functional>
#include <string>

#include "files/file_problem.h"

namespace gf3mq {

inline constexpr int kDefaultLockWaitSeconds = 30;
inline constexpr int kMaxLockWaitSeconds = 86400;

// GF3MQ_LOCK_WAIT when it holds a whole number of seconds from 0 to
// kMaxLockWaitSeconds (0: do not wait), otherwise kDefaultLockWaitSeconds.
int lock_wait_seconds();

// Empty when GF3MQ_LOCK_WAIT is unset, empty or such a number; otherwise
// what is wrong with it, for programs to refuse.
std::string lock_wait_problem();

// How long a lock another process holds is waited for, and what is said
// once the wait has lasted a second.
struct LockWait {
  int seconds = lock_wait_seconds();
  std::function<void(const std::string& what)> notice;  // e.g. a line on standard error
};

class FolderLock {
 public:
  enum class Mode { shared, exclusive };

  explicit FolderLock(LockWait wait = {}) : wait_(std::move(wait)) {}
  ~FolderLock();  // releases the lock
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Locks the working directory in this mode (a held lock is converted),
  // waiting at most wait.seconds for another process to let go. False with
  // problem filled when the folder cannot be opened or locked, or the wait
  // ran out.
  bool acquire(Mode mode, FileProblem* problem);
  void release();
  bool held() const { return fd_ >= 0; }

 private:
  LockWait wait_;
  int fd_ = -1;
};

}  // namespace gf3mq
