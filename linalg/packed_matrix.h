// Matrices over GF(3) with rows packed two bits to an element, for large
// eliminations: see packed_rows.h for the representation. Row r is its
// plane of ones (words() words) followed by its plane of twos.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/secure_wipe.h"

namespace gf3mq {

class PackedMatrix {
 public:
  PackedMatrix() = default;
  PackedMatrix(std::size_t rows, std::size_t cols);  // all zero

  std::size_t rows() const { return rows_; }
  std::size_t cols() const { return cols_; }
  std::size_t words() const { return words_; }  // words per plane of a row

  // Inline: elimination reads and writes single elements in its inner loops.
  std::uint8_t get(std::size_t r, std::size_t c) const {  // M(r, c), 0..2
    const auto bit = static_cast<unsigned>(c % 64);
    return static_cast<std::uint8_t>(((ones(r)[c / 64] >> bit) & 1u) | (((twos(r)[c / 64] >> bit) & 1u) << 1));
  }
  void set(std::size_t r, std::size_t c, unsigned v) {  // M(r, c) = v mod 3
    const std::uint64_t bit = std::uint64_t{1} << (c % 64);
    v %= 3;
    ones(r)[c / 64] = (ones(r)[c / 64] & ~bit) | (v == 1 ? bit : 0);
    twos(r)[c / 64] = (twos(r)[c / 64] & ~bit) | (v == 2 ? bit : 0);
  }
  std::uint64_t* ones(std::size_t r) { return data_.data() + 2 * words_ * r; }
  std::uint64_t* twos(std::size_t r) { return ones(r) + words_; }
  const std::uint64_t* ones(std::size_t r) const { return data_.data() + 2 * words_ * r; }
  const std::uint64_t* twos(std::size_t r) const { return ones(r) + words_; }

  // Elements [offset, offset + count) of row r from count byte values,
  // taken mod 3, or into bytes 0..2; fastest when offset is a multiple of 64.
  void set_row(std::size_t r, const std::uint8_t* values, std::size_t count, std::size_t offset = 0);
  void get_row(std::size_t r, std::uint8_t* values, std::size_t count, std::size_t offset = 0) const;

  void swap_rows(std::size_t r, std::size_t s);
  void add_row_multiple(std::size_t r, std::size_t s, unsigned k);  // row r += k * row s

 private:
  std::size_t rows_ = 0, cols_ = 0, words_ = 0;
  SecretVector<std::uint64_t> data_;  // may hold secret matrices
};

}  // namespace gf3mq
