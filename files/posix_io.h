// Plain POSIX calls that the rest of the system makes the same way
// everywhere: whole writes, and what a file is.
#pragma once

#include <cstddef>
#include <string>

namespace gf3mq {

// Writes data[0..n) to fd, going on after interruptions and partial writes.
// False with errno set (EIO where the system wrote nothing) when a write fails.
bool write_all(int fd, const void* data, std::size_t n);

// Reads data[0..n) from fd, going on after interruptions and partial reads.
// The count read, less than n only at the end of the file; -1 with errno
// set when a read fails.
long read_all(int fd, void* data, std::size_t n);

// One read of up to n bytes into data, again after an interruption: the
// count read, 0 at the end of the file, -1 with errno set when it fails.
long read_some(int fd, void* data, std::size_t n);

// Opens name for reading as it is (O_RDONLY | O_CLOEXEC): a FIFO or a device
// such as /dev/stdin too, for an input the user names. -1 with errno set.
int open_for_reading(const std::string& name);

// "a directory", "a FIFO", ...: what a file of type st_mode & S_IFMT is.
std::string describe_file_type(unsigned file_type);

}  // namespace gf3mq
