#include "linalg/packed_matrix.h"

#include <algorithm>
#include <cstring>

#include "linalg/packed_rows.h"

namespace gf3mq {

namespace {

constexpr std::size_t kWordBits = 64;

std::size_t words_for(std::size_t cols) { return (cols + kWordBits - 1) / kWordBits; }

// Bytes x mod 3 for any byte values, eight at once.
std::uint64_t reduce8(std::uint64_t v) {
  std::uint8_t bytes[8];
  std::memcpy(bytes, &v, 8);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(b % 3);
  std::memcpy(&v, bytes, 8);
  return v;
}

}  // namespace

PackedMatrix::PackedMatrix(std::size_t rows, std::size_t cols)
    : rows_(rows), cols_(cols), words_(words_for(cols)), data_(2 * words_ * rows, 0) {}

void PackedMatrix::set_row(std::size_t r, const std::uint8_t* values, std::size_t count, std::size_t offset) {
  std::size_t i = 0;
  if (offset % kWordBits == 0) {
    std::uint64_t* o = ones(r) + offset / kWordBits;
    std::uint64_t* t = twos(r) + offset / kWordBits;
    for (; i + 8 <= count; i += 8) {
      std::uint64_t v, one_bits, two_bits;
      std::memcpy(&v, values + i, 8);
      pack_eight_elements(reduce8(v), one_bits, two_bits);
      const std::uint64_t mask = std::uint64_t{0xFF} << (i % kWordBits);
      o[i / kWordBits] = (o[i / kWordBits] & ~mask) | (one_bits << (i % kWordBits));
      t[i / kWordBits] = (t[i / kWordBits] & ~mask) | (two_bits << (i % kWordBits));
    }
  }
  for (; i < count; ++i) set(r, offset + i, values[i]);
}

void PackedMatrix::get_row(std::size_t r, std::uint8_t* values, std::size_t count, std::size_t offset) const {
  if (offset % kWordBits == 0)
    return unpack_elements(ones(r) + offset / kWordBits, twos(r) + offset / kWordBits, count, values);
  for (std::size_t i = 0; i < count; ++i) values[i] = get(r, offset + i);
}

void PackedMatrix::swap_rows(std::size_t r, std::size_t s) {
  if (r != s) std::swap_ranges(ones(r), ones(r) + 2 * words_, ones(s));
}

void PackedMatrix::add_row_multiple(std::size_t r, std::size_t s, unsigned k) {
  packed_add_multiple(ones(r), twos(r), ones(s), twos(s), k % 3, words_);
}

}  // namespace gf3mq
