#include "app/program.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <streambuf>

namespace gf3mq::program {

namespace {

bool is_open(int fd) { return fcntl(fd, F_GETFD) != -1 || errno != EBADF; }

// Standard output written straight to descriptor 1, keeping the error of the
// first write that failed: the reason for the message, whenever it happened.
class CheckedOutput : public std::streambuf {
 public:
  CheckedOutput() { setp(buffer_, buffer_ + sizeof buffer_); }
  int error() const { return error_; }
  bool failed() const { return failed_; }

  // Writes what is buffered and closes descriptor 1.
  bool close() {
    const bool flushed = sync() == 0;
    if (::close(1) != 0 && !failed_) {
      failed_ = true;
      error_ = errno;
    }
    return flushed && !failed_;
  }

 protected:
  int_type overflow(int_type c) override {
    if (sync() != 0) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) sputc(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
  }

  int sync() override {
    const char* p = pbase();
    while (p < pptr() && !failed_) {
      const ssize_t n = ::write(1, p, static_cast<std::size_t>(pptr() - p));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        failed_ = true;
        error_ = n < 0 ? errno : EIO;
      } else {
        p += n;
      }
    }
    setp(buffer_, buffer_ + sizeof buffer_);  // what could not be written is lost either way
    return failed_ ? -1 : 0;
  }

 private:
  char buffer_[1 << 14];
  bool failed_ = false;
  int error_ = 0;
};

// Lives until the process ends: the standard streams flush at exit.
CheckedOutput* const checked_output = new CheckedOutput;

}  // namespace

bool standard_streams_ready(const char* name) {
  if (!is_open(1)) {
    fail(name, "standard output is closed; nothing was done");
    return false;
  }
  // open() returns the lowest free descriptor: the closed one.
  for (int fd : {0, 2})
    if (!is_open(fd) && open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd) return false;
  std::cout.rdbuf(checked_output);
  return true;
}

bool finish_output(const char* name, const char* done) {
  std::cout.flush();
  if (checked_output->close()) return true;
  std::string message = "standard output could not be written";
  if (checked_output->error() != 0) message += std::string(": ") + std::strerror(checked_output->error());
  if (done != nullptr) message += std::string(" (") + done + ")";
  fail(name, message);
  return false;
}

int fail(const char* name, const std::string& message) {
  std::cerr << name << ": " << message << std::endl;
  return 1;
}

}  // namespace gf3mq::program
