#include "files/digit_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/digit_text.h"
#include "runtime/secure_wipe.h"
#include "runtime/worker_threads.h"

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

// Files of at least this many digits are read in pieces of this size on
// every core, each straight into its place in the caller's buffer.
constexpr std::size_t kPiece = std::size_t{1} << 20;

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

namespace {

// file_name opened with flags (and mode, when it creates it) if it is a
// regular file, as open_regular_file says; its length in result.digits.
int open_regular(const char* file_name, int flags, mode_t mode, DigitFileResult& result) {
  const int fd = ::open(file_name, flags | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, mode);
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
  result.digits = static_cast<std::size_t>(info.st_size);
  return fd;
}

}  // namespace

int open_regular_file(const char* file_name, DigitFileResult& result) {
  return open_regular(file_name, O_RDONLY, 0, result);
}

namespace {

// Where the elements read go: elements [first, first + size) of the file
// are at buffer; with take set, each block is passed on once full, and the
// buffer then holds the next one.
struct ElementSink {
  std::uint8_t* buffer;
  std::size_t count, block;  // elements in all, and per block
  const DigitBlocks* take = nullptr;
  std::size_t first = 0;

  std::size_t end() const { return first + std::min(block, count - first); }
  std::uint8_t* at(std::size_t n) const { return buffer + (n - first); }
  // Passes the block on when n ends it.
  void passed_up_to(std::size_t n) {
    if (take == nullptr || n != end() || n == first) return;
    (*take)(first, buffer, n - first);
    first = n;
  }
};

// The digits of the file open on fd from its current offset, where n
// digits have been read already, up to `wanted` in all (count or count + 1):
// the first count go to the sink, a digit after them is only counted (it
// tells a file that is too long).
DigitFileResult read_digits_from(int fd, ElementSink& sink, std::size_t wanted, std::size_t n) {
  DigitFileResult result;
  SecretVector<unsigned char> chunk(kChunk);  // key files pass through here
  while (n < wanted) {
    const long read_now = read_some(fd, chunk.data(), chunk.size());
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
      // Runs of plain digits, the whole file in the usual case, go in one
      // pass: into the sink up to the end of its block, and past the count
      // only counted (turned into elements in the chunk itself).
      const std::size_t limit = std::min(got - i, wanted - n);
      const std::size_t room = n < sink.count ? std::min(limit, sink.end() - n) : limit;
      unsigned char* text = chunk.data() + i;
      const std::size_t run = digits_to_elements(text, room, n < sink.count ? sink.at(n) : text);
      n += run;
      i += run;
      sink.passed_up_to(n);
      if (run == room) continue;
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

// Reads bytes [offset, offset + length) of fd into out; false when a read
// fails or the file ends first.
bool read_at(int fd, std::uint64_t offset, unsigned char* out, std::size_t length) {
  for (std::size_t done = 0; done < length;) {
    const ssize_t got = ::pread(fd, out + done, length - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

// Bytes [first, first + length) of the file as digits, read and turned into
// elements in pieces on every core, each straight into its place in out:
// true when all of them are 0, 1 or 2. False when one is not (whitespace
// among them too), a read fails or the file is shorter: out is then
// anything, and the caller reads on from first one chunk after another,
// which tells what is wrong exactly.
bool read_plain_digits(int fd, std::uint64_t first, std::uint8_t* out, std::size_t length) {
  std::atomic<bool> plain{true};
  for_each_item((length + kPiece - 1) / kPiece, 0, [&](std::size_t piece) {
    if (!plain.load(std::memory_order_relaxed)) return;
    const std::size_t begin = piece * kPiece, size = std::min(kPiece, length - begin);
    if (!read_at(fd, first + begin, out + begin, size) || digits_to_elements(out + begin, size, out + begin) != size)
      plain.store(false, std::memory_order_relaxed);
  });
  return plain.load();
}

// The first `wanted` digits of a file, count or count + 1 of them, as
// read_digits_from says; those of a large file block by block while they
// are plain digits, each block in pieces on every core.
DigitFileResult read_digits(const char* file_name, ElementSink& sink, std::size_t wanted) {
  DigitFileResult result;
  const Descriptor file{open_regular_file(file_name, result)};
  if (file.fd < 0) return result;
  if (sink.count < kPiece || sink.buffer == nullptr) return read_digits_from(file.fd, sink, wanted, 0);
  // Until a block holds something else, the n-th digit is the n-th byte.
  while (sink.first < sink.count) {
    const std::size_t first = sink.first, end = sink.end();
    if (!read_plain_digits(file.fd, first, sink.buffer, end - first)) break;
    sink.passed_up_to(end);
    if (sink.take == nullptr) sink.first = end;
  }
  if (::lseek(file.fd, static_cast<off_t>(sink.first), SEEK_SET) < 0) {
    result.status = DigitFileStatus::cannot_read;
    result.error_number = errno;
    result.digits = sink.first;
    return result;
  }
  return read_digits_from(file.fd, sink, wanted, sink.first);
}

DigitFileResult read_digits(const char* file_name, std::uint8_t* out, std::size_t count, std::size_t wanted) {
  ElementSink sink{out, count, count};
  return read_digits(file_name, sink, wanted);
}

// Whether a whole-file read found exactly count digits: too_long when one
// more followed them, ok when the file ended right after them.
DigitFileResult whole_file_result(DigitFileResult result, std::size_t count) {
  if (result.digits > count) result.status = DigitFileStatus::too_long;
  if (result.status == DigitFileStatus::too_short && result.digits == count) result.status = DigitFileStatus::ok;
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

DigitFileResult file_length(const char* file_name) {
  DigitFileResult result;
  const Descriptor file{open_regular_file(file_name, result)};
  return result;
}

DigitFileResult read_whole_digit_file(const char* file_name, std::uint8_t* out, std::size_t count) {
  // One digit more than wanted: finding it means the file is too long.
  return whole_file_result(read_digits(file_name, out, count, count + 1), count);
}

DigitFileResult read_digit_file_in_blocks(const char* file_name, std::size_t count, bool whole, std::size_t block,
                                          const DigitBlocks& take) {
  SecretVector<std::uint8_t> buffer(std::min(std::max<std::size_t>(block, 1), count));
  ElementSink sink{buffer.data(), count, buffer.size(), &take};
  const DigitFileResult result = read_digits(file_name, sink, whole ? count + 1 : count);
  return whole ? whole_file_result(result, count) : result;
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

DigitFileAppender::DigitFileAppender(const char* file_name, mode_t mode) : fd_(-1), owned_(true), ok_(false) {
  DigitFileResult opened;
  fd_ = open_regular(file_name, O_WRONLY | O_APPEND | O_CREAT, mode, opened);
  ok_ = fd_ >= 0;
  // EINVAL: not a regular file.
  if (!ok_) error_number_ = opened.status == DigitFileStatus::not_regular ? EINVAL : opened.error_number;
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
