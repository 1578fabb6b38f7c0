#include "files/posix_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace gf3mq {

bool write_all(int fd, const void* data, std::size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    const ssize_t written = ::write(fd, p, n);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = EIO;
      return false;
    }
    p += written;
    n -= static_cast<std::size_t>(written);
  }
  return true;
}

long read_all(int fd, void* data, std::size_t n) {
  char* p = static_cast<char*>(data);
  std::size_t got = 0;
  while (got < n) {
    const long read_now = read_some(fd, p + got, n - got);
    if (read_now < 0) return -1;
    if (read_now == 0) break;
    got += static_cast<std::size_t>(read_now);
  }
  return static_cast<long>(got);
}

long read_some(int fd, void* data, std::size_t n) {
  ssize_t got;
  do {
    got = ::read(fd, data, n);
  } while (got < 0 && errno == EINTR);
  return static_cast<long>(got);
}

int open_for_reading(const std::string& name) { return ::open(name.c_str(), O_RDONLY | O_CLOEXEC); }

std::string describe_file_type(unsigned file_type) {
  constexpr std::pair<unsigned, const char*> kTypes[] = {{S_IFDIR, "a directory"},        {S_IFIFO, "a FIFO"},
                                                         {S_IFCHR, "a character device"}, {S_IFBLK, "a block device"},
                                                         {S_IFSOCK, "a socket"},          {S_IFLNK, "a symbolic link"}};
  for (const auto& [type, text] : kTypes)
    if (type == file_type) return text;
  return "a special file";
}

}  // namespace gf3mq
