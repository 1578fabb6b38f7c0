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

// "a directory", "a FIFO", ...: what a file of type st_mode & S_IFMT is.
std::string describe_file_type(unsigned file_type);

}  // namespace gf3mq
