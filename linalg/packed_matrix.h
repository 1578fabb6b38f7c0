// Matrices over GF(3) with rows packed two bits to an element, for large
// eliminations: see packed_rows.h for the representation. Row r is its
// plane of ones (words() words) followed by its plane of twos.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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

  std::uint8_t get(std::size_t r, std::size_t c) const;  // M(r, c), 0..2
  void set(std::size_t r, std::size_t c, unsigned v);    // M(r, c) = v mod 3
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

// Called now and then during a long computation with the fraction done.
using Progress = std::function<void(double)>;

// Brings m to reduced row echelon form in place, by Gauss-Jordan
// elimination in the manner of the method of four Russians: pivots are
// taken up to 48 columns at a time (a panel), the combinations of its pivot
// rows are tabulated three rows at a time, and each other row is then
// cleared with one sum of table rows, read and written once per panel.
// Returns the pivot columns, ascending (their number is the rank).
// The rows are cleared on up to `threads` threads (0: worker_threads()),
// at least 512 rows each; the result is the same for every count.
std::vector<std::size_t> reduce_to_echelon(PackedMatrix& m, const Progress& progress = {}, unsigned threads = 1);

// A basis of the kernel {x : m x = 0}, one row per column without a pivot.
PackedMatrix kernel_basis(const PackedMatrix& m, const Progress& progress = {}, unsigned threads = 1);

// The kernel basis from an echelon form and its pivots (reduce_to_echelon).
PackedMatrix kernel_of_echelon(const PackedMatrix& echelon, const std::vector<std::size_t>& pivots);

// Solves m x = b: true with x one solution, false when there is none.
// kernel (when given) receives a basis of the solutions of m x = 0, so that
// every solution is x plus a combination of its rows.
bool solve(const PackedMatrix& m, const std::vector<std::uint8_t>& b, std::vector<std::uint8_t>& x,
           PackedMatrix* kernel = nullptr);

// a * b, by tabulated combinations of b's rows.
PackedMatrix multiply(const PackedMatrix& a, const PackedMatrix& b);

}  // namespace gf3mq
