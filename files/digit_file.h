// Files of GF(3) elements in the element text form: one decimal digit per
// element ("0", "1" or "2"), no separators, no header, no final line break.
// Readers skip whitespace between digits; writers append.
//
// Readers open only regular files: the name is opened without following a
// symbolic link and without blocking (a FIFO or a device is refused at once,
// never waited on), and a read error is reported as such, not as a short file.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "files/file_problem.h"
#include "files/posix_io.h"
#include "files/temp_file.h"
#include "runtime/secure_wipe.h"

namespace gf3mq {

enum class DigitFileStatus { ok, cannot_open, not_regular, cannot_read, too_short, too_long, bad_character };

struct DigitFileResult {
  DigitFileStatus status = DigitFileStatus::ok;
  std::size_t digits = 0;  // digits read before the problem (count when ok)
  unsigned char byte = 0;  // the offending byte, for bad_character
  int error_number = 0;    // errno, for cannot_open and cannot_read
  unsigned file_type = 0;  // st_mode & S_IFMT, for not_regular

  bool ok() const { return status == DigitFileStatus::ok; }
  // The problem in words, for a FileProblem.
  std::string describe(std::size_t count) const;
};

// Opens file_name for reading if it is a regular file (O_NOFOLLOW,
// O_NONBLOCK, then fstat). Returns the descriptor, its length in bytes in
// result.digits, or -1 with result filled (cannot_open, not_regular, or
// cannot_read when fstat fails).
int open_regular_file(const char* file_name, DigitFileResult& result);

// Reads the first count digits of file_name into out[0..count), element value
// = digit - '0', skipping whitespace (blank, tab, line breaks, \v, \f, \r).
// Characters after the count-th digit are not read. On failure out may hold a
// prefix of the digits: callers that must not change state read into scratch.
DigitFileResult read_digit_file(const char* file_name, std::uint8_t* out, std::size_t count);

// As read_digit_file, filling problem (when not null) on failure.
bool read_digit_file(const char* file_name, std::uint8_t* out, std::size_t count, FileProblem* problem);

// The length of file_name in bytes (in digits), the file opened as the
// readers open it, its digits not read; status ok, or why it cannot be
// opened or looked at.
DigitFileResult file_length(const char* file_name);

// How many digits 0, 1, 2 the file holds before its end or its first other
// character (whitespace between them skipped), in digits; status ok, or
// cannot_open, not_regular or cannot_read (with the system's error) when
// the file cannot be opened or read.
DigitFileResult count_digits(const char* file_name);

// The whole file: exactly count digits, then nothing but whitespace, read
// straight into out (a public key of 1021 takes no second gigabyte; a large
// file is read on every core):
// too_long when a digit follows them, bad_character (digits == count) when
// another character does. On failure out may hold a prefix of the digits,
// as with read_digit_file.
DigitFileResult read_whole_digit_file(const char* file_name, std::uint8_t* out, std::size_t count);

// Takes the elements of a digit file block by block, in order: the index in
// the file of the first, the elements, how many.
using DigitBlocks = std::function<void(std::size_t first, const std::uint8_t* elements, std::size_t length)>;

// read_whole_digit_file (whole) or read_digit_file, the count elements
// passed to take in blocks of `block` (the last one shorter) as they are
// read, never held whole: a reader that keeps only what it makes of them
// needs no buffer of the file. The result is theirs; on failure some blocks
// may have been taken already, and what was made of them is to be dropped.
DigitFileResult read_digit_file_in_blocks(const char* file_name, std::size_t count, bool whole, std::size_t block,
                                          const DigitBlocks& take);

// As read_whole_digit_file, filling problem (when not null) on failure,
// with the row of a short or damaged file when row_length is given.
bool read_whole_digit_file(const char* file_name, std::uint8_t* out, std::size_t count, FileProblem* problem,
                           std::size_t row_length = 0);

// Appends elements as decimal digits to one file, in pieces: open once (or
// take a descriptor), append any number of blocks, close. Every failure
// (open, write, close) is reported. A file opened by name is a regular file
// reached without following a symbolic link and without blocking (a FIFO
// or a device is refused); one that is missing is created with `mode`
// (less the umask).
class DigitFileAppender {
 public:
  DigitFileAppender(const char* file_name, mode_t mode);  // opens for appending, creating it
  explicit DigitFileAppender(int fd);                     // writes through fd, which stays the caller's
  ~DigitFileAppender();                                   // closes an owned file when close() was not called
  DigitFileAppender(const DigitFileAppender&) = delete;
  DigitFileAppender& operator=(const DigitFileAppender&) = delete;

  bool is_open() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  bool append(const std::uint8_t* values, std::size_t count);  // false once anything failed
  bool close();                                                // true when every step succeeded; closes an owned file
  int error_number() const { return error_number_; }           // errno of the first failure, 0 if none

 private:
  int fd_;
  bool owned_;
  bool ok_;
  int error_number_ = 0;
  SecretVector<char> text_;  // the digits of key material
};

// A new temporary beside for_file (temp.create with mode), written through
// write on an appender of its descriptor, synced and closed. False with
// problem naming for_file when a step fails.
bool write_digit_temporary(TempFile& temp, const char* for_file, mode_t mode,
                           const std::function<bool(DigitFileAppender&)>& write, FileProblem* problem);

// Writes values[0..count) (each 0..9) as digits at byte offset `offset` of
// the file open on fd (pwrite: safe from several threads at once, each on
// its own part of the file). False with errno set when a write fails.
bool write_digits_at(int fd, std::uint64_t offset, const std::uint8_t* values, std::size_t count);

// Appends values[0..count) as decimal numbers, without separators, to
// file_name (created with `mode`, less the umask, when missing; never
// through a symbolic link). False when the file cannot be opened or is not a
// regular file, or a write fails.
bool append_digit_file(const char* file_name, const std::uint8_t* values, std::size_t count, mode_t mode);

}  // namespace gf3mq
