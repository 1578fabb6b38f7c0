#include "scheme/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace gf3mq {

namespace {

std::string working_directory() {
  char path[4096];
  return getcwd(path, sizeof path) != nullptr ? std::string(path) : std::string(".");
}

}  // namespace

FolderLock::~FolderLock() { release(); }

bool FolderLock::acquire(Mode mode, FileProblem* problem) {
  if (fd_ < 0) fd_ = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  int result = fd_ < 0 ? -1 : 0;
  if (result == 0) {
    do {
      result = flock(fd_, mode == Mode::shared ? LOCK_SH : LOCK_EX);
    } while (result != 0 && errno == EINTR);
  }
  if (result == 0) return true;
  const int error = errno;
  release();
  if (problem != nullptr)
    *problem = FileProblem{working_directory(), std::string("cannot be locked: ") + std::strerror(error)};
  return false;
}

void FolderLock::release() {
  if (fd_ >= 0) close(fd_);  // closing the last descriptor releases the lock
  fd_ = -1;
}

}  // namespace gf3mq
