#include "field/affine_map.h"

#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "field/field_tables.h"

namespace gf3mq {

namespace {

// Keeps the bytes below 255 of raw, as residues mod 3, appending to out
// until it holds n; returns how many it holds.
std::size_t take_unbiased(const std::uint8_t* raw, std::size_t raw_n, std::uint8_t* out, std::size_t have,
                          std::size_t n) {
  for (std::size_t i = 0; i < raw_n && have < n; ++i)
    if (raw[i] < 255) out[have++] = static_cast<std::uint8_t>(raw[i] % 3);
  return have;
}

}  // namespace

bool SystemGf3Source::fill(std::uint8_t* out, std::size_t n) {
  std::uint8_t raw[256];
  std::size_t have = 0;
  while (have < n) {
    const std::size_t want = std::min(sizeof raw, n - have + 8);
    const ssize_t got = getrandom(raw, want, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      error_ = std::string("getrandom failed: ") + std::strerror(errno);
      return false;
    }
    have = take_unbiased(raw, static_cast<std::size_t>(got), out, have, n);
  }
  return true;
}

std::uint64_t SeededGf3Source::next_word() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

bool SeededGf3Source::fill(std::uint8_t* out, std::size_t n) {
  std::size_t have = 0;
  while (have < n) {
    const std::uint64_t word = next_word();
    std::uint8_t raw[8];
    for (int b = 0; b < 8; ++b) raw[b] = static_cast<std::uint8_t>(word >> (8 * b));
    have = take_unbiased(raw, 8, out, have, n);
  }
  return true;
}

}  // namespace gf3mq

int random_affine_map(Mat_ZZ_p& M, Vec_ZZ_p& v, gf3mq::Gf3Source& source) {
  const std::size_t elements = static_cast<std::size_t>(M.num_rows()) * static_cast<std::size_t>(M.num_cols());
  do {
    // Row by row in one draw: the block is row-major.
    if (!source.fill(M.data(), elements)) {
      M.clear();
      return -1;
    }
  } while (nonsingular(M) == 0);
  if (!source.fill(v.data(), static_cast<std::size_t>(v.length()))) {
    M.clear();
    std::fill_n(v.data(), v.length(), std::uint8_t{0});
    return -1;
  }
  return 0;
}

int random_affine_map(Mat_ZZ_p& M, Vec_ZZ_p& v) {
  gf3mq::SystemGf3Source source;
  return random_affine_map(M, v, source);
}

Mat_ZZ_p augment_affine_map(const Mat_ZZ_p& M, const Vec_ZZ_p& v) {
  Mat_ZZ_p A_X(gf3mq::kDegree, gf3mq::kPositions);
  for (int i = 0; i < M.num_rows(); ++i) {
    for (int j = 0; j < M.num_cols(); ++j) A_X.set(i, j, M.get(i, j));
    A_X.set(i, gf3mq::kDegree, v[i]);
  }
  return A_X;
}
