// Plaintexts and ciphertexts as text lines, as gf3mq-encrypt, gf3mq-decrypt
// and gf3mq-attack read and write them: one vector of n elements per line,
// each element one digit. Blanks within a line (spaces, tabs, a carriage
// return) are ignored and empty lines are skipped.
//
// Input is read a batch of lines at a time and refused at the first line
// that is not a vector, so that memory stays bounded whatever its size: a
// reader holds one chunk of input, the elements of one line and the batch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "field/sizes.h"
#include "files/file_problem.h"
#include "runtime/secure_wipe.h"

namespace gf3mq {

// Plaintexts are over {1, 2} (the stored public key is exact only for
// them); ciphertexts over {0, 1, 2}.
enum class LineElements { plaintext, ciphertext };

// Vectors of `elements` elements each, one after another, and the line each
// came from.
struct MessageLines {
  std::size_t elements_per_line = kDefaultSizes.elements();
  SecretVector<std::uint8_t> elements;
  std::vector<std::size_t> line_numbers;  // 1-based

  std::size_t count() const { return line_numbers.size(); }
  const std::uint8_t* vector(std::size_t i) const { return elements.data() + i * elements_per_line; }
};

// The lines of one input, parsed as they come. Problems name the source
// (empty for standard input) with the line and, for a character that is
// not an element, the column.
class MessageLineParser {
 public:
  MessageLineParser(std::string source, LineElements allowed, std::size_t elements = kDefaultSizes.elements());

  // Parses text[0..size), appending finished lines to out. False with
  // problem filled at the first line that is not a vector.
  bool feed(const char* text, std::size_t size, MessageLines& out, FileProblem* problem);
  // The end of the input: the last line, if it has no line break.
  bool finish(MessageLines& out, FileProblem* problem);

 private:
  bool end_line(MessageLines& out, FileProblem* problem);
  bool refuse(FileProblem* problem, std::size_t column, const std::string& what) const;

  std::string source_;
  LineElements allowed_;
  std::size_t elements_;
  std::size_t line_ = 1, column_ = 0, count_ = 0;
  SecretVector<std::uint8_t> current_;  // the elements of the line being read
};

// Parses a whole text. False with problem filled at the first line that is
// not a vector; out is then unchanged.
bool parse_message_lines(const char* text, std::size_t size, const std::string& source, LineElements allowed,
                         MessageLines& out, FileProblem* problem, std::size_t elements = kDefaultSizes.elements());

// Reads a file ("-": standard input) a batch at a time.
class MessageLineReader {
 public:
  MessageLineReader(std::string file_name, LineElements allowed, std::size_t elements = kDefaultSizes.elements());
  ~MessageLineReader();
  MessageLineReader(const MessageLineReader&) = delete;
  MessageLineReader& operator=(const MessageLineReader&) = delete;

  // The next vectors, up to max of them, in out (replacing what it held):
  // none at the end of the input. The lines before a bad one are all handed
  // out first; then false with problem filled: the input cannot be opened
  // or read, or the line is not a vector.
  bool next(std::size_t max, MessageLines& out, FileProblem* problem);

 private:
  bool fill(FileProblem* problem);

  std::string file_name_;
  MessageLineParser parser_;
  int fd_ = -1;
  bool ended_ = false, failed_ = false;
  FileProblem failure_;   // what stopped the input, once failed_
  MessageLines pending_;  // parsed, not yet handed out
  SecretVector<char> chunk_;
};

// Appends the digits of v (elements of them) and a line break to out.
void append_message_line(SecretVector<char>& out, const std::uint8_t* v,
                         std::size_t elements = kDefaultSizes.elements());

}  // namespace gf3mq
