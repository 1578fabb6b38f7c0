// Mat_ZZ_p: dense matrix over GF(3).
//
// Representation: rows x cols bytes in one owned block, row-major; element
// (r, c) is byte r * cols + c and holds 0, 1 or 2. Vectors are columns:
// M * v is the matrix-vector product, (M * v)[r] = sum over c of M(r, c) v[c].
//
// Element accessors (set, at, get, row) check their indices; the bulk
// operations walk the block directly. Misuse writes one message to standard
// error and ends the process: exit status 1, or abort() for mismatched shapes
// in + and - (and for a non-square matrix given to nonsingular).
#pragma once

#include <cstdint>
#include <iosfwd>

#include "files/digit_file.h"
#include "linalg/vec_zz_p.h"
#include "runtime/secure_wipe.h"

class Mat_ZZ_p {
 public:
  // Construction, copying, shape
  Mat_ZZ_p(int rows, int cols);                // M = 0, rows, cols >= 1
  Mat_ZZ_p(const Mat_ZZ_p& other);             // deep copy
  Mat_ZZ_p(Mat_ZZ_p&& other) noexcept;         // takes the block; other keeps none
  Mat_ZZ_p& operator=(const Mat_ZZ_p& other);  // deep copy, takes other's shape
  Mat_ZZ_p& operator=(Mat_ZZ_p&& other) noexcept;
  void resize(int rows, int cols);  // new shape, M = 0 (always cleared)
  int num_rows() const { return rows_; }
  int num_cols() const { return cols_; }

  // Element access (checked)
  void set(int row, int col, unsigned char value);  // M(row, col) = value mod 3
  unsigned char& at(int row, int col);              // M(row, col), stored unreduced
  unsigned char get(int row, int col) const;        // M(row, col)
  std::uint8_t* row(int r);                         // &M(r, 0): the cols elements of row r
  const std::uint8_t* row(int r) const;
  std::uint8_t* data() { return data_.get(); }  // the whole block, row-major
  const std::uint8_t* data() const { return data_.get(); }

  // Arithmetic (mod 3)
  void clear();                                 // M = 0
  Mat_ZZ_p& operator+=(const Mat_ZZ_p& other);  // M = M + other
  Mat_ZZ_p& operator-=(const Mat_ZZ_p& other);  // M = M - other

  // Text file form
  // Appends rows*cols digits, row-major (append_digit_file: created mode
  // 0600, as blocks may be secret, never through a symbolic link).
  bool save(const char* file_name) const;
  // Reads the first rows*cols digits (whitespace skipped). False, with the
  // matrix unchanged, when the file cannot be opened, is short or holds a
  // character other than 0, 1, 2; problem (when given) then says which.
  bool load(const char* file_name, gf3mq::FileProblem* problem = nullptr);

 private:
  void check_index(int row, int col) const;
  std::size_t size() const { return static_cast<std::size_t>(rows_) * static_cast<std::size_t>(cols_); }

  int rows_;
  int cols_;
  gf3mq::WipedBlock data_;  // wiped before it is released: blocks may hold key material
};

// Arithmetic (mod 3)
Mat_ZZ_p operator+(const Mat_ZZ_p& a, const Mat_ZZ_p& b);  // a + b
Mat_ZZ_p operator-(const Mat_ZZ_p& a, const Mat_ZZ_p& b);  // a - b
Mat_ZZ_p operator*(int k, const Mat_ZZ_p& m);              // k * m, k taken mod 3
Mat_ZZ_p operator*(const Mat_ZZ_p& m, int k);              // m * k, k taken mod 3
Vec_ZZ_p operator*(const Mat_ZZ_p& m, const Vec_ZZ_p& v);  // y = M * v

// Elimination over GF(3)
int nonsingular(const Mat_ZZ_p& m);   // 0 when singular, a non-zero element of GF(3) otherwise
Mat_ZZ_p inverse(const Mat_ZZ_p& m);  // M^-1 by Gauss-Jordan elimination

// Console form
std::ostream& operator<<(std::ostream& out, const Mat_ZZ_p& m);  // "[[1 0 2][0 1 1]]"

namespace gf3mq {

// Shape checks for routines that check an argument once on entry and then
// walk its rows (through row(), with the matrix's own row length) where
// their element-by-element form would check every access:
// "Matrix index out of range." and exit status 1 unless m has at least
// rows x cols elements...
void require_at_least(const Mat_ZZ_p& m, int rows, int cols);
// ...and the abort of a sum with a rows x cols matrix ("error matrix add
// equal due to dim different！") unless m has exactly that shape.
void require_shape_of_sum(const Mat_ZZ_p& m, int rows, int cols);

}  // namespace gf3mq
