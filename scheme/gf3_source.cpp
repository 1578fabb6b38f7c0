#include "scheme/gf3_source.h"

#include <sodium.h>
#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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

KeyedGf3Source::KeyedGf3Source(const std::string& text) {
  if (sodium_init() < 0) {
    error_ = "libsodium could not be initialised";
    return;
  }
  crypto_generichash(key_, sizeof key_, reinterpret_cast<const unsigned char*>(text.data()), text.size(), nullptr, 0);
}

KeyedGf3Source::~KeyedGf3Source() {
  sodium_memzero(key_, sizeof key_);
  sodium_memzero(piece_, sizeof piece_);
}

void KeyedGf3Source::next_piece() {
  static_assert(sizeof key_ == crypto_generichash_KEYBYTES && sizeof key_ == randombytes_SEEDBYTES);
  unsigned char counter[8], seed[randombytes_SEEDBYTES];
  for (int b = 0; b < 8; ++b) counter[b] = static_cast<unsigned char>(pieces_ >> (8 * b));
  crypto_generichash(seed, sizeof seed, counter, sizeof counter, key_, sizeof key_);
  randombytes_buf_deterministic(piece_, sizeof piece_, seed);
  sodium_memzero(seed, sizeof seed);
  ++pieces_;
  used_ = 0;
}

bool KeyedGf3Source::fill(std::uint8_t* out, std::size_t n) {
  if (!error_.empty()) return false;
  std::size_t have = 0;
  while (have < n) {
    if (used_ == kPieceBytes) next_piece();
    // Only the bytes taken are used up: the next fill goes on from there.
    while (used_ < kPieceBytes && have < n) have = take_unbiased(&piece_[used_++], 1, out, have, n);
  }
  return true;
}

}  // namespace gf3mq
