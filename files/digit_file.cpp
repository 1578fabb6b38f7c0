#include "files/digit_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/secure_wipe.h"

namespace gf3mq {

namespace {

// Closes a descriptor when it goes out of scope.
struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

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

std::string DigitFileResult::describe(std::size_t count) const {
  switch (status) {
    case DigitFileStatus::ok:
      return "is fine";
    case DigitFileStatus::cannot_open:
      if (error_number == ELOOP) return "is a symbolic link, not a regular file";
      return std::string("cannot be opened: ") + std::strerror(error_number);
    case DigitFileStatus::not_regular:
      return "is " + describe_file_type(file_type) + ", not a regular file";
    case DigitFileStatus::cannot_read:
      return std::string("cannot be read: ") + std::strerror(error_number);
    case DigitFileStatus::too_short:
      return "is too short: it holds " + std::to_string(digits) + " of " + std::to_string(count) + " digits";
    case DigitFileStatus::too_long:
      return "holds more than its " + std::to_string(count) + " digits";
    case DigitFileStatus::bad_character: {
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%02X", byte);
      if (digits == count)
        return std::string("holds the byte ") + hex + " after its " + std::to_string(count) + " digits";
      return std::string("holds a character other than 0, 1 or 2 (byte ") + hex + ") after " + std::to_string(digits) +
             " digits";
    }
  }
  return "has an unknown problem";
}

int open_regular_file(const char* file_name, DigitFileResult& result) {
  const int fd = ::open(file_name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    result.status = DigitFileStatus::cannot_open;
    result.error_number = errno;
    return -1;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    result.status = DigitFileStatus::cannot_read;
    result.error_number = errno;
    ::close(fd);
    return -1;
  }
  if (!S_ISREG(info.st_mode)) {
    result.status = DigitFileStatus::not_regular;
    result.file_type = info.st_mode & S_IFMT;
    ::close(fd);
    return -1;
  }
  return fd;
}

namespace {

// The first `wanted` digits of a file, count or count + 1 of them: the
// first count go to out, a digit after them is only counted (it tells a
// file that is too long).
DigitFileResult read_digits(const char* file_name, std::uint8_t* out, std::size_t count, std::size_t wanted) {
  DigitFileResult result;
  const Descriptor file{open_regular_file(file_name, result)};
  if (file.fd < 0) return result;
  SecretVector<unsigned char> chunk(kChunk);  // key files pass through here
  std::size_t n = 0;
  while (n < wanted) {
    const long read_now = read_some(file.fd, chunk.data(), chunk.size());
    if (read_now < 0) {
      result.status = DigitFileStatus::cannot_read;
      result.error_number = errno;
      result.digits = n;
      return result;
    }
    const std::size_t got = static_cast<std::size_t>(read_now);
    if (got == 0) break;
    std::size_t i = 0;
    while (i < got && n < wanted) {
      // Runs of plain digits, the whole file in the usual case, go in one pass.
      const std::size_t run = digit_run(chunk.data() + i, std::min(got - i, wanted - n));
      const std::size_t kept = std::min(run, count - std::min(n, count));
      for (std::size_t r = 0; r < kept; ++r) out[n + r] = static_cast<std::uint8_t>(chunk[i + r] - '0');
      n += run;
      i += run;
      if (i >= got || n >= wanted) break;
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
  if (n < wanted) result.status = DigitFileStatus::too_short;
  return result;
}

}  // namespace

DigitFileResult read_digit_file(const char* file_name, std::uint8_t* out, std::size_t count) {
  return read_digits(file_name, out, count, count);
}

bool read_digit_file(const char* file_name, std::uint8_t* out, std::size_t count, FileProblem* problem) {
  const DigitFileResult result = read_digit_file(file_name, out, count);
  if (!result.ok() && problem != nullptr) *problem = FileProblem{file_name, result.describe(count)};
  return result.ok();
}

DigitFileResult count_digits(const char* file_name) {
  DigitFileResult result = read_digits(file_name, nullptr, 0, SIZE_MAX);
  // The end of the file, or its first other character, ends the count.
  if (result.status == DigitFileStatus::too_short || result.status == DigitFileStatus::bad_character)
    result.status = DigitFileStatus::ok;
  return result;
}

DigitFileResult read_whole_digit_file(const char* file_name, std::uint8_t* out, std::size_t count) {
  // One digit more than wanted: finding it means the file is too long.
  DigitFileResult result = read_digits(file_name, out, count, count + 1);
  if (result.digits > count) result.status = DigitFileStatus::too_long;
  if (result.status == DigitFileStatus::too_short && result.digits == count) result.status = DigitFileStatus::ok;
  return result;
}

bool read_whole_digit_file(const char* file_name, std::uint8_t* out, std::size_t count, FileProblem* problem,
                           std::size_t row_length) {
  const DigitFileResult result = read_whole_digit_file(file_name, out, count);
  if (result.ok()) return true;
  std::string what = result.describe(count);
  const bool in_a_row = result.status == DigitFileStatus::too_short || result.status == DigitFileStatus::bad_character;
  if (row_length != 0 && in_a_row && result.digits < count)
    what += " (row " + std::to_string(result.digits / row_length) + ")";
  return report_problem(problem, file_name, what);
}

DigitFileAppender::DigitFileAppender(const char* file_name, mode_t mode)
    : fd_(::open(file_name, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode)),
      owned_(true),
      ok_(fd_ >= 0) {
  if (!ok_) {
    error_number_ = errno;
    return;
  }
  struct stat info {};
  const bool looked_at = fstat(fd_, &info) == 0;
  if (!looked_at || !S_ISREG(info.st_mode)) {
    error_number_ = looked_at ? EINVAL : errno;  // EINVAL: not a regular file
    ::close(fd_);
    fd_ = -1;
    ok_ = false;
  }
}

DigitFileAppender::DigitFileAppender(int fd) : fd_(fd), owned_(false), ok_(fd >= 0) {
  if (!ok_) error_number_ = EBADF;
}

DigitFileAppender::~DigitFileAppender() {
  if (owned_ && fd_ >= 0) ::close(fd_);
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
    ok_ = write_all(fd_, text_.data(), text_.size());
    if (!ok_) error_number_ = errno;
    done += n;
  }
  return ok_;
}

bool DigitFileAppender::close() {
  if (fd_ < 0) return false;
  bool closed = true;
  if (owned_) {
    closed = ::close(fd_) == 0;
    if (!closed && ok_) error_number_ = errno;
  }
  fd_ = -1;
  return ok_ && closed;
}

bool write_digit_temporary(TempFile& temp, const char* for_file, mode_t mode,
                           const std::function<bool(DigitFileAppender&)>& write, FileProblem* problem) {
  if (!temp.create(for_file, mode, problem)) return false;
  DigitFileAppender appender(temp.fd());
  errno = 0;
  if (!write(appender) || !appender.close()) {
    const int error = appender.error_number() != 0 ? appender.error_number() : errno != 0 ? errno : EIO;
    return report_problem(problem, for_file, "could not be written completely: " + error_text(error));
  }
  return temp.sync_and_close(for_file, problem);
}

bool write_digits_at(int fd, std::uint64_t offset, const std::uint8_t* values, std::size_t count) {
  SecretVector<char> text(std::min(count, kChunk));  // the digits of key material
  for (std::size_t done = 0; done < count;) {
    const std::size_t n = std::min(count - done, text.size());
    for (std::size_t i = 0; i < n; ++i) text[i] = static_cast<char>('0' + values[done + i]);
    for (std::size_t written = 0; written < n;) {
      const ssize_t w = ::pwrite(fd, text.data() + written, n - written, static_cast<off_t>(offset + done + written));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        if (w == 0) errno = EIO;
        return false;
      }
      written += static_cast<std::size_t>(w);
    }
    done += n;
  }
  return true;
}

bool append_digit_file(const char* file_name, const std::uint8_t* values, std::size_t count, mode_t mode) {
  DigitFileAppender file(file_name, mode);
  if (!file.is_open()) return false;
  file.append(values, count);
  return file.close();
}

}  // namespace gf3mq
