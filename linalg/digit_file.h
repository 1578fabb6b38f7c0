// Files of GF(3) elements in the element text form: one decimal digit per
// element ("0", "1" or "2"), no separators, no header, no final line break.
// Readers skip whitespace between digits; writers append.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "linalg/secure_wipe.h"

namespace gf3mq {

// Which file failed and why, for messages to the user.
struct FileProblem {
  std::string file;     // the file's name as given
  std::string problem;  // e.g. "is too short: it holds 100 of 257 digits"

  // "<file>" <problem>
  std::string message() const;
};

enum class DigitFileStatus { ok, cannot_open, too_short, bad_character };

struct DigitFileResult {
  DigitFileStatus status = DigitFileStatus::ok;
  std::size_t digits = 0;  // digits read before the problem (count when ok)
  unsigned char byte = 0;  // the offending byte, for bad_character
  int error_number = 0;    // errno, for cannot_open

  bool ok() const { return status == DigitFileStatus::ok; }
  // The problem in words, for a FileProblem.
  std::string describe(std::size_t count) const;
};

// Reads the first count digits of file_name into out[0..count), element value
// = digit - '0', skipping whitespace (blank, tab, line breaks, \v, \f, \r).
// Characters after the count-th digit are not read. On failure out may hold a
// prefix of the digits: callers that must not change state read into scratch.
DigitFileResult read_digit_file(const char* file_name, std::uint8_t* out, std::size_t count);

// As read_digit_file, filling problem (when not null) on failure.
bool read_digit_file(const char* file_name, std::uint8_t* out, std::size_t count, FileProblem* problem);

// Appends elements as decimal digits to one file, in pieces: open once, append
// any number of blocks, close. Every failure (open, write, close) is reported.
class DigitFileAppender {
 public:
  explicit DigitFileAppender(const char* file_name);  // opens for appending, creating it
  ~DigitFileAppender();                               // closes when close() was not called
  DigitFileAppender(const DigitFileAppender&) = delete;
  DigitFileAppender& operator=(const DigitFileAppender&) = delete;

  bool is_open() const { return file_ != nullptr; }
  bool append(const std::uint8_t* values, std::size_t count);  // false once anything failed
  bool close();                                                // true when every step succeeded

 private:
  std::FILE* file_;
  bool ok_;
  SecretVector<char> text_;  // the digits of key material
};

// Appends values[0..count) as decimal numbers, without separators, to
// file_name (created when missing). False when the file cannot be opened or a
// write fails.
bool append_digit_file(const char* file_name, const std::uint8_t* values, std::size_t count);

}  // namespace gf3mq
