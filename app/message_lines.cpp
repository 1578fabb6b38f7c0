#include "app/message_lines.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

#include "files/posix_io.h"

namespace gf3mq {

namespace {

constexpr std::size_t kChunkBytes = 1 << 16;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// How a character that is not an element shows in a message.
std::string shown(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  if (u >= 0x21 && u < 0x7F) return std::string("\"") + c + "\"";
  char hex[16];
  std::snprintf(hex, sizeof hex, "the byte 0x%02X", u);
  return hex;
}

std::string elements_text(std::size_t count) { return std::to_string(count) + (count == 1 ? " element" : " elements"); }

}  // namespace

MessageLineParser::MessageLineParser(std::string source, LineElements allowed, std::size_t elements)
    : source_(std::move(source)), allowed_(allowed), elements_(elements), current_(elements) {}

bool MessageLineParser::refuse(FileProblem* problem, std::size_t column, const std::string& what) const {
  if (problem != nullptr) *problem = FileProblem{source_, what, line_, column};
  return false;
}

bool MessageLineParser::end_line(MessageLines& out, FileProblem* problem) {
  if (count_ != 0 && count_ != elements_)
    return refuse(problem, 0, "holds " + elements_text(count_) + ", not " + std::to_string(elements_));
  if (count_ != 0) {
    out.elements.insert(out.elements.end(), current_.begin(), current_.end());
    out.line_numbers.push_back(line_);
  }
  ++line_;
  column_ = count_ = 0;
  return true;
}

bool MessageLineParser::feed(const char* text, std::size_t size, MessageLines& out, FileProblem* problem) {
  out.elements_per_line = elements_;
  for (std::size_t i = 0; i < size; ++i) {
    const char c = text[i];
    if (c == '\n') {
      if (!end_line(out, problem)) return false;
      continue;
    }
    ++column_;
    if (is_blank(c)) continue;
    const bool plaintext = allowed_ == LineElements::plaintext;
    if (plaintext && c == '0')
      return refuse(problem, column_, "\"0\" is not 1 or 2 (every element of a plaintext must be 1 or 2)");
    if (c < '0' || c > '2')
      return refuse(problem, column_, shown(c) + (plaintext ? " is not 1 or 2" : " is not 0, 1 or 2"));
    if (count_ == elements_) return refuse(problem, 0, "holds more than " + elements_text(elements_));
    current_[count_++] = static_cast<std::uint8_t>(c - '0');
  }
  return true;
}

bool MessageLineParser::finish(MessageLines& out, FileProblem* problem) {
  return column_ == 0 || end_line(out, problem);
}

bool parse_message_lines(const char* text, std::size_t size, const std::string& source, LineElements allowed,
                         MessageLines& out, FileProblem* problem, std::size_t elements) {
  MessageLines parsed;  // out changes only when every line is good
  MessageLineParser parser(source, allowed, elements);
  if (!parser.feed(text, size, parsed, problem) || !parser.finish(parsed, problem)) return false;
  out = std::move(parsed);  // feed set its elements_per_line
  return true;
}

MessageLineReader::MessageLineReader(std::string file_name, LineElements allowed, std::size_t elements)
    : file_name_(std::move(file_name)), parser_(file_name_ == "-" ? "" : file_name_, allowed, elements) {
  pending_.elements_per_line = elements;
}

MessageLineReader::~MessageLineReader() {
  if (fd_ > 0) close(fd_);
}

bool MessageLineReader::fill(FileProblem* problem) {
  const std::string source = file_name_ == "-" ? "" : file_name_;
  if (fd_ < 0) {  // first called: after a failure, next() calls it no more
    fd_ = file_name_ == "-" ? 0 : open_for_reading(file_name_);
    if (fd_ < 0) return report_problem(problem, source, "cannot be opened: " + error_text(errno));
  }
  chunk_.resize(kChunkBytes);  // plaintexts pass through here
  const long n = read_some(fd_, chunk_.data(), chunk_.size());
  if (n < 0) return report_problem(problem, source, "cannot be read: " + error_text(errno));
  if (n == 0) {
    ended_ = true;
    return parser_.finish(pending_, problem);
  }
  return parser_.feed(chunk_.data(), static_cast<std::size_t>(n), pending_, problem);
}

bool MessageLineReader::next(std::size_t max, MessageLines& out, FileProblem* problem) {
  while (pending_.count() < max && !ended_ && !failed_) failed_ = !fill(&failure_);
  if (failed_ && pending_.count() == 0) {
    if (problem != nullptr) *problem = failure_;
    return false;
  }
  // The first count of from, moved to to.
  const auto take = [](auto& from, auto& to, std::size_t count) {
    const auto end = from.begin() + static_cast<std::ptrdiff_t>(count);
    to.assign(from.begin(), end);
    from.erase(from.begin(), end);
  };
  const std::size_t taken = std::min(max, pending_.count());
  out.elements_per_line = pending_.elements_per_line;
  take(pending_.elements, out.elements, taken * out.elements_per_line);
  take(pending_.line_numbers, out.line_numbers, taken);
  return true;
}

void append_message_line(SecretVector<char>& out, const std::uint8_t* v, std::size_t elements) {
  for (std::size_t i = 0; i < elements; ++i) out.push_back(static_cast<char>('0' + v[i]));
  out.push_back('\n');
}

}  // namespace gf3mq
