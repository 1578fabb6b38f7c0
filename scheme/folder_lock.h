// The lock that orders the writers and readers of the working directory's
// key set and tables: flock(2) on the folder's own descriptor, so that no
// lock file appears. Key generation and the table generator hold it
// exclusively while they replace files; programs that read a key set hold it
// shared while they read. Programs take it, never library routines, so that
// a program holding a shared lock cannot deadlock against itself.
#pragma once

#include "linalg/digit_file.h"

namespace gf3mq {

class FolderLock {
 public:
  enum class Mode { shared, exclusive };

  FolderLock() = default;
  ~FolderLock();  // releases the lock
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Waits until the working directory is locked in this mode (a held lock
  // is converted). False with problem filled when the folder cannot be
  // opened or locked.
  bool acquire(Mode mode, FileProblem* problem);
  void release();
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace gf3mq
