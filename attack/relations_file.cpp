#include "attack/relations_file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "files/posix_io.h"
#include "files/whole_file.h"
#include "linalg/packed_rows.h"

namespace gf3mq {

namespace {

std::string header(std::size_t n, std::uint64_t key_digest) {
  char text[96];
  std::snprintf(text, sizeof text, "gf3mq relations 1 n=%zu key=%016llx\n", n,
                static_cast<unsigned long long>(key_digest));
  return text;
}

// Eight digits at once: v = the characters xor "00000000" holds 0, 1, 2 in
// each byte exactly when the characters are digits 0, 1, 2.
std::uint64_t parse8(const char* p, std::uint64_t& ones, std::uint64_t& twos) {
  constexpr std::uint64_t kLowBits = gf3mq::kLowBitOfEachByte;
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  v ^= 0x3030303030303030ull;
  gf3mq::pack_eight_elements(v, ones, twos);
  return (v & ~(kLowBits * 3)) | (v & (v >> 1) & kLowBits);  // non-zero: a byte was not 0, 1 or 2
}

// A packed row from its digits (the row must be zero); false at a character
// other than 0, 1, 2.
bool parse_row(const char*& digit, PackedMatrix& m, std::size_t row) {
  std::uint64_t* ones = m.ones(row);
  std::uint64_t* twos = m.twos(row);
  std::uint64_t bad = 0;
  std::size_t c = 0;
  for (; c + 8 <= m.cols(); c += 8, digit += 8) {
    std::uint64_t o, t;
    bad |= parse8(digit, o, t);
    ones[c / 64] |= o << (c % 64);
    twos[c / 64] |= t << (c % 64);
  }
  for (; c < m.cols(); ++c) {
    const unsigned v = static_cast<unsigned char>(*digit++) - '0';
    bad |= v > 2;
    ones[c / 64] |= std::uint64_t{v == 1} << (c % 64);
    twos[c / 64] |= std::uint64_t{v == 2} << (c % 64);
  }
  return bad == 0;
}

// Writes the digits of every element, in the file's order, about 1 MiB at
// a time: at 1021 the file is a gigabyte, never held whole.
bool write_digits(int fd, const Relations& r) {
  constexpr std::size_t kChunk = std::size_t{1} << 20;
  std::string text;
  const auto flush = [&] {
    for (char& digit : text) digit = static_cast<char>('0' + digit);
    const bool written = write_all(fd, text.data(), text.size());
    text.clear();
    return written;
  };
  const auto write_rows = [&](const PackedMatrix& m) {
    for (std::size_t u = 0; u < m.rows(); ++u) {
      const std::size_t at = text.size();
      text.resize(at + m.cols());
      m.get_row(u, reinterpret_cast<std::uint8_t*>(&text[at]), m.cols());
      if (text.size() >= kChunk && !flush()) return false;
    }
    return true;
  };
  for (const PackedMatrix& a : r.a)
    if (!write_rows(a)) return false;
  if (!write_rows(r.b) || !write_rows(r.g)) return false;
  text.append(r.d.begin(), r.d.end());
  return flush();
}

}  // namespace

std::uint64_t public_key_digest(const std::uint8_t* pk, std::size_t size, std::uint64_t hash) {
  // FNV-1a over little-endian words of eight elements, the last one padded
  // with zeros: one multiplication per eight elements.
  for (std::size_t i = 0; i < size; i += 8) {
    std::uint64_t word = 0;
    for (std::size_t b = 0; b < 8 && i + b < size; ++b) word |= std::uint64_t{pk[i + b]} << (8 * b);
    hash ^= word;
    hash *= 1099511628211ull;
  }
  return hash;
}

bool save_relations(const std::string& file_name, const Relations& r, std::uint64_t key_digest, FileProblem* problem) {
  const std::string heading = header(r.n, key_digest);
  return write_whole_file(
      file_name, 0600, Placement::replace,
      [&](int fd) { return write_all(fd, heading.data(), heading.size()) && write_digits(fd, r); }, problem);
}

bool load_relations(const std::string& file_name, std::size_t n, std::uint64_t key_digest, Relations& r,
                    FileProblem* problem, const std::function<void()>& size_checked) {
  const std::string expected = header(n, key_digest);
  const std::size_t count = (n + 1) * (n + 1) * n;  // rows of n digits: n^2 of a, n of b, n of g, d
  DigitFileResult opened;
  const int fd = open_regular_file(file_name.c_str(), opened);
  if (fd < 0) return report_problem(problem, file_name, opened.describe(0));
  // Read, never mapped: a mapping of a file that another user truncates
  // ends the process with SIGBUS, where a read just ends early.
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } closer{fd};
  const auto unreadable = [&] { return report_problem(problem, file_name, "cannot be read: " + error_text(errno)); };
  const std::size_t size = opened.digits;
  std::string found(expected.size(), '\0');
  const long header_read = read_all(fd, found.data(), found.size());
  if (header_read < 0) return unreadable();
  found.resize(static_cast<std::size_t>(header_read));
  if (found.rfind("gf3mq relations 1 n=" + std::to_string(n) + " key=", 0) != 0)
    return report_problem(problem, file_name, "does not hold relations of this system");
  if (found != expected) return report_problem(problem, file_name, "holds relations made for another public key");
  if (size != expected.size() + count)
    return report_problem(problem, file_name, size < expected.size() + count ? "is too short" : "is too long");
  if (size_checked) size_checked();
  const auto changed = [&](const std::string& how) {
    return report_problem(problem, file_name,
                          "changed while it was read: it held " + std::to_string(size) + " bytes when opened, " + how);
  };
  // Parsed aside, a chunk of whole rows at a time: r changes only when the
  // whole file is good.
  Relations parsed{n, std::vector<PackedMatrix>(n, PackedMatrix(n, n)), PackedMatrix(n, n), PackedMatrix(n, n),
                   std::vector<std::uint8_t>(n)};
  const std::size_t rows = (n + 1) * (n + 1), rows_at_once = std::max<std::size_t>(1, (1 << 20) / n);
  std::vector<char> chunk(rows_at_once * n);
  bool digits_only = true;
  for (std::size_t row = 0; row < rows;) {
    const std::size_t wanted = std::min(rows_at_once, rows - row) * n;
    const long got = read_all(fd, chunk.data(), wanted);
    if (got < 0) return unreadable();
    if (static_cast<std::size_t>(got) != wanted)
      return changed("but ended after " + std::to_string(expected.size() + row * n + static_cast<std::size_t>(got)));
    for (const char* digit = chunk.data(); digit != chunk.data() + wanted; ++row) {
      if (row < n * n) {
        digits_only = parse_row(digit, parsed.a[row / n], row % n) && digits_only;
      } else if (row < n * n + 2 * n) {
        digits_only = parse_row(digit, row < n * n + n ? parsed.b : parsed.g, (row - n * n) % n) && digits_only;
      } else {
        PackedMatrix d(1, n);
        digits_only = parse_row(digit, d, 0) && digits_only;
        d.get_row(0, parsed.d.data(), n);
      }
    }
  }
  char more = 0;
  const long after = read_all(fd, &more, 1);
  if (after < 0) return unreadable();
  if (after != 0) return changed("but held more");
  if (!digits_only) return report_problem(problem, file_name, "holds a character other than 0, 1 or 2");
  r = std::move(parsed);
  return true;
}

}  // namespace gf3mq
