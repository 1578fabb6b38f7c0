#include "linalg/digit_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "linalg/secure_wipe.h"

namespace gf3mq {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The whitespace that formatted character input skips in the C locale.
bool is_space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

constexpr std::size_t kChunk = 1 << 16;

// Length of the leading run of the characters 0, 1, 2 in p[0..n).
std::size_t digit_run(const unsigned char* p, std::size_t n) {
  constexpr std::size_t kBlock = 64;
  std::size_t i = 0;
  while (i + kBlock <= n) {
    unsigned bad = 0;
    for (std::size_t k = 0; k < kBlock; ++k) bad |= static_cast<unsigned char>(p[i + k] - '0') > 2;
    if (bad != 0) break;
    i += kBlock;
  }
  while (i < n && static_cast<unsigned char>(p[i] - '0') <= 2) ++i;
  return i;
}

}  // namespace

std::string FileProblem::message() const { return file.empty() ? problem : "\"" + file + "\" " + problem; }

std::string DigitFileResult::describe(std::size_t count) const {
  switch (status) {
    case DigitFileStatus::ok:
      return "is fine";
    case DigitFileStatus::cannot_open:
      return std::string("cannot be opened: ") + std::strerror(error_number);
    case DigitFileStatus::too_short:
      return "is too short: it holds " + std::to_string(digits) + " of " + std::to_string(count) + " digits";
    case DigitFileStatus::bad_character: {
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%02X", byte);
      return std::string("holds a character other than 0, 1 or 2 (byte ") + hex + ") after " + std::to_string(digits) +
             " digits";
    }
  }
  return "has an unknown problem";
}

DigitFileResult read_digit_file(const char* file_name, std::uint8_t* out, std::size_t count) {
  DigitFileResult result;
  errno = 0;
  File file(std::fopen(file_name, "rb"));
  if (!file) {
    result.status = DigitFileStatus::cannot_open;
    result.error_number = errno;
    return result;
  }
  SecretVector<unsigned char> chunk(kChunk);  // key files pass through here
  std::size_t n = 0;
  while (n < count) {
    const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file.get());
    if (got == 0) break;
    std::size_t i = 0;
    while (i < got && n < count) {
      // Runs of plain digits, the whole file in the usual case, go in one pass.
      const std::size_t run = digit_run(chunk.data() + i, std::min(got - i, count - n));
      for (std::size_t r = 0; r < run; ++r) out[n + r] = static_cast<std::uint8_t>(chunk[i + r] - '0');
      n += run;
      i += run;
      if (i >= got || n >= count) break;
      const unsigned char c = chunk[i++];
      if (!is_space(c)) {
        result.status = DigitFileStatus::bad_character;
        result.byte = c;
        result.digits = n;
        return result;
      }
    }
  }
  result.digits = n;
  if (n < count) result.status = DigitFileStatus::too_short;
  return result;
}

bool read_digit_file(const char* file_name, std::uint8_t* out, std::size_t count, FileProblem* problem) {
  const DigitFileResult result = read_digit_file(file_name, out, count);
  if (!result.ok() && problem != nullptr) *problem = FileProblem{file_name, result.describe(count)};
  return result.ok();
}

DigitFileAppender::DigitFileAppender(const char* file_name)
    : file_(std::fopen(file_name, "ab")), ok_(file_ != nullptr) {}

DigitFileAppender::~DigitFileAppender() {
  if (file_ != nullptr) std::fclose(file_);
}

bool DigitFileAppender::append(const std::uint8_t* values, std::size_t count) {
  if (!ok_) return false;
  for (std::size_t done = 0; done < count && ok_;) {
    const std::size_t n = std::min(count - done, kChunk);
    const std::uint8_t* block = values + done;
    text_.resize(n);
    char* text = text_.data();
    unsigned wide = 0;  // any element of two or more digits
    for (std::size_t i = 0; i < n; ++i) {
      text[i] = static_cast<char>('0' + block[i]);
      wide |= block[i] >= 10 ? 1u : 0u;
    }
    if (wide != 0) {
      text_.clear();  // only after unchecked element writes
      for (std::size_t i = 0; i < n; ++i)
        for (char digit : std::to_string(block[i])) text_.push_back(digit);
    }
    ok_ = std::fwrite(text_.data(), 1, text_.size(), file_) == text_.size();
    done += n;
  }
  return ok_;
}

bool DigitFileAppender::close() {
  if (file_ == nullptr) return false;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  return ok_ && closed;
}

bool append_digit_file(const char* file_name, const std::uint8_t* values, std::size_t count) {
  DigitFileAppender file(file_name);
  if (!file.is_open()) return false;
  file.append(values, count);
  return file.close();
}

}  // namespace gf3mq
