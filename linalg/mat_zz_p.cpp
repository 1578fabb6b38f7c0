#include "linalg/mat_zz_p.h"

#include <algorithm>
#include <iostream>
#include <utility>
#include <vector>

#include "linalg/gf3_rows.h"
#include "linalg/messages.h"
#include "linalg/packed_echelon.h"
#include "runtime/fatal.h"

namespace msg = gf3mq::msg;

// ---- construction, copying, shape ----

Mat_ZZ_p::Mat_ZZ_p(int rows, int cols) : rows_(rows), cols_(cols) {
  if (rows < 1 || cols < 1) gf3mq::exit_with_message(msg::bad_matrix_size);
  data_ = gf3mq::make_wiped_block(size());
}

Mat_ZZ_p::Mat_ZZ_p(const Mat_ZZ_p& other) : rows_(other.rows_), cols_(other.cols_) {
  if (size() != 0 && other.data_) {
    data_ = gf3mq::make_wiped_block(size());
    std::copy_n(other.data_.get(), size(), data_.get());
  }
}

Mat_ZZ_p::Mat_ZZ_p(Mat_ZZ_p&& other) noexcept
    : rows_(std::exchange(other.rows_, 0)), cols_(std::exchange(other.cols_, 0)), data_(std::move(other.data_)) {}

Mat_ZZ_p& Mat_ZZ_p::operator=(const Mat_ZZ_p& other) {
  if (this == &other) return *this;
  resize(other.rows_, other.cols_);
  if (other.data_) std::copy_n(other.data_.get(), size(), data_.get());
  return *this;
}

Mat_ZZ_p& Mat_ZZ_p::operator=(Mat_ZZ_p&& other) noexcept {
  if (this != &other) {
    rows_ = std::exchange(other.rows_, 0);
    cols_ = std::exchange(other.cols_, 0);
    data_ = std::move(other.data_);
  }
  return *this;
}

void Mat_ZZ_p::resize(int rows, int cols) {
  if (rows < 1 || cols < 1) gf3mq::exit_with_message(msg::bad_matrix_resize);
  rows_ = rows;
  cols_ = cols;
  data_ = gf3mq::make_wiped_block(size());
}

// ---- element access ----

void Mat_ZZ_p::check_index(int row, int col) const {
  if (row < 0 || row >= rows_ || col < 0 || col >= cols_) gf3mq::exit_with_message(msg::matrix_index);
}

void Mat_ZZ_p::set(int row, int col, unsigned char value) { at(row, col) = gf3mq::mod3(value); }

unsigned char& Mat_ZZ_p::at(int row, int col) {
  check_index(row, col);
  return data_[static_cast<std::size_t>(row) * cols_ + col];
}

unsigned char Mat_ZZ_p::get(int row, int col) const {
  check_index(row, col);
  return data_[static_cast<std::size_t>(row) * cols_ + col];
}

std::uint8_t* Mat_ZZ_p::row(int r) {
  check_index(r, 0);
  return data_.get() + static_cast<std::size_t>(r) * cols_;
}

const std::uint8_t* Mat_ZZ_p::row(int r) const {
  check_index(r, 0);
  return data_.get() + static_cast<std::size_t>(r) * cols_;
}

namespace gf3mq {

void require_at_least(const Mat_ZZ_p& m, int rows, int cols) { (void)m.get(rows - 1, cols - 1); }

void require_shape_of_sum(const Mat_ZZ_p& m, int rows, int cols) {
  if (m.num_rows() != rows || m.num_cols() != cols) abort_with_message(msg::matrix_add);
}

}  // namespace gf3mq

// ---- arithmetic ----

void Mat_ZZ_p::clear() {
  if (data_) std::fill_n(data_.get(), size(), std::uint8_t{0});
}

Mat_ZZ_p& Mat_ZZ_p::operator+=(const Mat_ZZ_p& other) {
  if (!other.data_) return *this;
  if (rows_ != other.rows_ || cols_ != other.cols_) gf3mq::abort_with_message(msg::matrix_add);
  gf3mq::add_row(data_.get(), other.data_.get(), size());
  return *this;
}

Mat_ZZ_p& Mat_ZZ_p::operator-=(const Mat_ZZ_p& other) {
  if (!other.data_) return *this;
  if (rows_ != other.rows_ || cols_ != other.cols_) gf3mq::abort_with_message(msg::matrix_sub);
  gf3mq::sub_row(data_.get(), other.data_.get(), size());
  return *this;
}

Mat_ZZ_p operator+(const Mat_ZZ_p& a, const Mat_ZZ_p& b) {
  Mat_ZZ_p sum(a);
  sum += b;
  return sum;
}

Mat_ZZ_p operator-(const Mat_ZZ_p& a, const Mat_ZZ_p& b) {
  Mat_ZZ_p difference(a);
  difference -= b;
  return difference;
}

Mat_ZZ_p operator*(int k, const Mat_ZZ_p& m) {
  Mat_ZZ_p product(m.num_rows(), m.num_cols());
  const std::size_t n = static_cast<std::size_t>(m.num_rows()) * static_cast<std::size_t>(m.num_cols());
  gf3mq::scale_row(product.data(), m.data(), gf3mq::residue3(k), n);
  return product;
}

Mat_ZZ_p operator*(const Mat_ZZ_p& m, int k) { return k * m; }

Vec_ZZ_p operator*(const Mat_ZZ_p& m, const Vec_ZZ_p& v) {
  if (m.num_cols() != v.length()) gf3mq::exit_with_message(msg::matrix_vector);
  Vec_ZZ_p result(m.num_rows());
  const std::size_t n = static_cast<std::size_t>(m.num_cols());
  for (int r = 0; r < m.num_rows(); ++r) {
    const std::uint8_t* row = m.data() + static_cast<std::size_t>(r) * n;
    // Columns summed before one reduction: as many as dot_row takes of bytes
    // of any value (see kDotRowMaxTerms).
    constexpr std::size_t chunk = gf3mq::kDotRowMaxTerms;
    unsigned sum = 0;
    for (std::size_t start = 0; start < n; start += chunk)
      sum += gf3mq::dot_row(row + start, v.data() + start, std::min(chunk, n - start)) % 3u;
    result.data()[r] = static_cast<std::uint8_t>(sum % 3u);
  }
  return result;
}

// ---- elimination ----
//
// Both routines eliminate on a private packed copy (packed_matrix.h): Gauss-
// Jordan elimination by the method of four Russians on bit-sliced rows. The
// matrix is taken mod 3. An invertible matrix has a pivot in every column;
// its inverse is unique, so the order of the pivots found does not matter.

namespace {

// The rows of m (mod 3) in a packed matrix of `width` columns, from column 0.
gf3mq::PackedMatrix packed_copy(const Mat_ZZ_p& m, std::size_t width) {
  gf3mq::PackedMatrix packed(static_cast<std::size_t>(m.num_rows()), width);
  for (int r = 0; r < m.num_rows(); ++r)
    packed.set_row(static_cast<std::size_t>(r), m.row(r), static_cast<std::size_t>(m.num_cols()));
  return packed;
}

}  // namespace

int nonsingular(const Mat_ZZ_p& m) {
  if (m.num_rows() != m.num_cols()) gf3mq::abort_with_message(msg::nonsquare);
  const int n = m.num_rows();
  if (n == 1) return m.get(0, 0);
  if (n == 2) return (m.get(0, 0) * m.get(1, 1) + 6 - m.get(0, 1) * m.get(1, 0)) % 3;
  // Every pivot is made 1, so the product of the diagonal is 1 when there
  // is a pivot in every column.
  gf3mq::PackedMatrix work = packed_copy(m, static_cast<std::size_t>(n));
  return gf3mq::reduce_to_echelon(work).size() == static_cast<std::size_t>(n) ? 1 : 0;
}

Mat_ZZ_p inverse(const Mat_ZZ_p& m) {
  if (m.num_rows() != m.num_cols()) gf3mq::exit_with_message(msg::bad_inverse);
  const auto n = static_cast<std::size_t>(m.num_rows());
  // [ m | I ], the identity from the first whole word after m, so that the
  // inverse is read back in whole words.
  const std::size_t right = (n + 63) / 64 * 64;
  gf3mq::PackedMatrix work = packed_copy(m, right + n);
  for (std::size_t r = 0; r < n; ++r) work.set(r, right + r, 1);
  const std::vector<std::size_t> pivots = gf3mq::reduce_to_echelon(work);
  for (std::size_t i = 0; i < n; ++i)
    if (i >= pivots.size() || pivots[i] != i) gf3mq::exit_with_message(msg::singular);
  Mat_ZZ_p result(m.num_rows(), m.num_cols());
  for (std::size_t r = 0; r < n; ++r) work.get_row(r, result.row(static_cast<int>(r)), n, right);
  return result;
}

// ---- text file and console forms ----

bool Mat_ZZ_p::save(const char* file_name) const {
  return gf3mq::append_digit_file(file_name, data_.get(), size(), 0600);
}

bool Mat_ZZ_p::load(const char* file_name, gf3mq::FileProblem* problem) {
  gf3mq::SecretVector<std::uint8_t> scratch(size());
  if (!gf3mq::read_digit_file(file_name, scratch.data(), scratch.size(), problem)) return false;
  std::copy(scratch.begin(), scratch.end(), data_.get());
  return true;
}

std::ostream& operator<<(std::ostream& out, const Mat_ZZ_p& m) {
  out << '[';
  for (int r = 0; r < m.num_rows(); ++r) {
    const std::uint8_t* row = m.row(r);
    out << '[';
    for (int c = 0; c < m.num_cols(); ++c) {
      if (c > 0) out << ' ';
      out << static_cast<int>(row[c]);
    }
    out << ']';
  }
  return out << ']';
}
