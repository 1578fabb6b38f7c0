#include "app/program.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace gf3mq::program {

namespace {

bool is_open(int fd) { return fcntl(fd, F_GETFD) != -1 || errno != EBADF; }

}  // namespace

bool standard_streams_ready(const char* name) {
  if (!is_open(1)) {
    fail(name, "standard output is closed; nothing was done");
    return false;
  }
  // open() returns the lowest free descriptor: the closed one.
  for (int fd : {0, 2})
    if (!is_open(fd) && open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd) return false;
  return true;
}

bool finish_output(const char* name, const char* done) {
  errno = 0;
  std::cout.flush();
  bool written = !std::cout.fail() && !std::ferror(stdout);
  if (std::fflush(stdout) != 0) written = false;
  int error = errno;
  if (std::fclose(stdout) != 0 && written) {
    written = false;
    error = errno;
  }
  if (written) return true;
  std::string message = "standard output could not be written";
  if (error != 0) message += std::string(": ") + std::strerror(error);
  if (done != nullptr) message += std::string(" (") + done + ")";
  fail(name, message);
  return false;
}

int fail(const char* name, const std::string& message) {
  std::cerr << name << ": " << message << std::endl;
  return 1;
}

}  // namespace gf3mq::program
