#include "scheme/message_lines.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace gf3mq {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// How a character that is not an element shows in a message.
std::string shown(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  if (u >= 0x21 && u < 0x7F) return std::string("\"") + c + "\"";
  char hex[16];
  std::snprintf(hex, sizeof hex, "the byte 0x%02X", u);
  return hex;
}

// problem: "<where><what>", after "standard input, " when source is empty.
bool report(FileProblem* problem, const std::string& source, const std::string& where, const std::string& what) {
  if (problem != nullptr) *problem = FileProblem{source, (source.empty() ? "standard input, " : "") + where + what};
  return false;
}

}  // namespace

bool parse_message_lines(const char* text, std::size_t size, const std::string& source, LineElements allowed,
                         MessageLines& out, FileProblem* problem) {
  MessageLines parsed;  // out changes only when every line is good
  std::size_t line = 0;
  for (std::size_t start = 0; start < size;) {
    ++line;
    const char* end = static_cast<const char*>(std::memchr(text + start, '\n', size - start));
    const std::size_t length = end != nullptr ? static_cast<std::size_t>(end - (text + start)) : size - start;
    const std::string where = "line " + std::to_string(line);
    const std::size_t first = parsed.elements.size();
    for (std::size_t i = 0; i < length; ++i) {
      const char c = text[start + i];
      if (is_blank(c)) continue;
      const bool digit = c >= '0' && c <= '2' && !(allowed == LineElements::plaintext && c == '0');
      if (!digit) {
        const std::string column = where + ", column " + std::to_string(i + 1);
        if (allowed == LineElements::plaintext && c == '0')
          return report(problem, source, column, ": \"0\" is not 1 or 2 (every element of a plaintext must be 1 or 2)");
        return report(problem, source, column,
                      ": " + shown(c) + (allowed == LineElements::plaintext ? " is not 1 or 2" : " is not 0, 1 or 2"));
      }
      parsed.elements.push_back(static_cast<std::uint8_t>(c - '0'));
    }
    const std::size_t count = parsed.elements.size() - first;
    if (count != 0 && count != kLineElements)
      return report(problem, source, where,
                    " holds " + std::to_string(count) + " elements, not " + std::to_string(kLineElements));
    if (count != 0) parsed.line_numbers.push_back(line);
    start += length + 1;
  }
  out = std::move(parsed);
  return true;
}

bool read_message_lines(const std::string& file_name, LineElements allowed, MessageLines& out,
                        FileProblem* problem) {
  const bool standard_input = file_name == "-";
  const std::string source = standard_input ? "" : file_name;
  const int fd = standard_input ? 0 : open(file_name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return report(problem, source, "cannot be opened: ", std::strerror(errno));
  SecretVector<char> text;  // plaintexts pass through here
  char chunk[1 << 16];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      if (!standard_input) close(fd);
      secure_wipe(chunk, sizeof chunk);
      return report(problem, source, "cannot be read: ", std::strerror(error));
    }
    if (n == 0) break;
    text.insert(text.end(), chunk, chunk + n);
  }
  if (!standard_input) close(fd);
  secure_wipe(chunk, sizeof chunk);
  return parse_message_lines(text.data(), text.size(), source, allowed, out, problem);
}

void append_message_line(SecretVector<char>& out, const std::uint8_t* v) {
  for (std::size_t i = 0; i < kLineElements; ++i) out.push_back(static_cast<char>('0' + v[i]));
  out.push_back('\n');
}

}  // namespace gf3mq
