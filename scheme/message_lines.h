// Plaintexts and ciphertexts as text lines, as gf3mq-encrypt, gf3mq-decrypt
// and gf3mq-attack read and write them: one vector of 257 elements per line,
// each element one digit. Blanks within a line (spaces, tabs, a carriage
// return) are ignored and empty lines are skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "linalg/digit_file.h"
#include "linalg/secure_wipe.h"

namespace gf3mq {

inline constexpr std::size_t kLineElements = 257;

// Plaintexts are over {1, 2} (the stored public key is exact only for
// them); ciphertexts over {0, 1, 2}.
enum class LineElements { plaintext, ciphertext };

// The vectors of a text, kLineElements each, one after another, and the
// line each came from.
struct MessageLines {
  SecretVector<std::uint8_t> elements;
  std::vector<std::size_t> line_numbers;  // 1-based

  std::size_t count() const { return line_numbers.size(); }
  const std::uint8_t* vector(std::size_t i) const { return elements.data() + i * kLineElements; }
};

// Parses text. False with problem filled (file: source, empty for standard
// input; problem: the line, the column and what is wrong) at the first
// line that is not kLineElements digits of the allowed values; out is then
// unchanged.
bool parse_message_lines(const char* text, std::size_t size, const std::string& source, LineElements allowed,
                         MessageLines& out, FileProblem* problem);

// Reads and parses the file (standard input when file_name is "-").
bool read_message_lines(const std::string& file_name, LineElements allowed, MessageLines& out,
                        FileProblem* problem);

// Appends the kLineElements digits of v and a line break to out.
void append_message_line(SecretVector<char>& out, const std::uint8_t* v);

}  // namespace gf3mq
