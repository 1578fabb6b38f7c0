#include "linalg/vec_zz_p.h"

#include <algorithm>
#include <iostream>
#include <utility>

#include "linalg/gf3_rows.h"
#include "linalg/messages.h"
#include "runtime/fatal.h"

namespace msg = gf3mq::msg;

Vec_ZZ_p::Vec_ZZ_p(int n) : length_(n) {
  if (n < 1) gf3mq::exit_with_message(msg::bad_vector_size);
  data_ = gf3mq::make_wiped_block(static_cast<std::size_t>(n));
}

Vec_ZZ_p::Vec_ZZ_p(const Vec_ZZ_p& other) : length_(other.length_) {
  if (other.data_) {
    data_ = gf3mq::make_wiped_block(static_cast<std::size_t>(length_));
    std::copy_n(other.data_.get(), length_, data_.get());
  }
}

Vec_ZZ_p::Vec_ZZ_p(Vec_ZZ_p&& other) noexcept
    : data_(std::move(other.data_)), length_(std::exchange(other.length_, 0)) {}

Vec_ZZ_p& Vec_ZZ_p::operator=(const Vec_ZZ_p& other) {
  if (this == &other) return *this;
  if (other.length_ < 1) gf3mq::exit_with_message(msg::bad_vector_size);
  auto block = gf3mq::make_wiped_block(static_cast<std::size_t>(other.length_));
  if (other.data_) std::copy_n(other.data_.get(), other.length_, block.get());
  data_ = std::move(block);
  length_ = other.length_;
  return *this;
}

Vec_ZZ_p& Vec_ZZ_p::operator=(Vec_ZZ_p&& other) noexcept {
  if (this != &other) {
    data_ = std::move(other.data_);
    length_ = std::exchange(other.length_, 0);
  }
  return *this;
}

void Vec_ZZ_p::set(int i, unsigned char value) { (*this)[i] = gf3mq::mod3(value); }

unsigned char& Vec_ZZ_p::operator[](int i) {
  if (i < 0 || i >= length_) gf3mq::exit_with_message(msg::vector_index);
  return data_[static_cast<std::size_t>(i)];
}

const unsigned char& Vec_ZZ_p::operator[](int i) const {
  if (i < 0 || i >= length_) gf3mq::exit_with_message(msg::vector_index);
  return data_[static_cast<std::size_t>(i)];
}

Vec_ZZ_p& Vec_ZZ_p::operator+=(const Vec_ZZ_p& b) {
  if (!b.data_) return *this;
  if (length_ != b.length_) gf3mq::abort_with_message(msg::vector_add);
  gf3mq::add_row(data_.get(), b.data_.get(), static_cast<std::size_t>(length_));
  return *this;
}

Vec_ZZ_p& Vec_ZZ_p::operator-=(const Vec_ZZ_p& b) {
  if (!b.data_) return *this;
  if (length_ != b.length_) gf3mq::abort_with_message(msg::vector_sub);
  gf3mq::sub_row(data_.get(), b.data_.get(), static_cast<std::size_t>(length_));
  return *this;
}

namespace gf3mq {

void require_length(const Vec_ZZ_p& v, int n) { (void)v[n - 1]; }

}  // namespace gf3mq

bool Vec_ZZ_p::save(const char* file_name) const {
  return gf3mq::append_digit_file(file_name, data_.get(), static_cast<std::size_t>(length_), 0600);
}

bool Vec_ZZ_p::load(const char* file_name, gf3mq::FileProblem* problem) {
  gf3mq::SecretVector<std::uint8_t> scratch(static_cast<std::size_t>(length_));
  if (!gf3mq::read_digit_file(file_name, scratch.data(), scratch.size(), problem)) return false;
  std::copy(scratch.begin(), scratch.end(), data_.get());
  return true;
}

void Vec_ZZ_p::print() const { std::cout << *this; }

Vec_ZZ_p operator+(const Vec_ZZ_p& a, const Vec_ZZ_p& b) {
  Vec_ZZ_p sum(a);
  sum += b;
  return sum;
}

Vec_ZZ_p operator-(const Vec_ZZ_p& a, const Vec_ZZ_p& b) {
  Vec_ZZ_p difference(a);
  difference -= b;
  return difference;
}

Vec_ZZ_p operator*(int k, const Vec_ZZ_p& v) {
  Vec_ZZ_p product(v.length());
  gf3mq::scale_row(product.data(), v.data(), gf3mq::residue3(k), static_cast<std::size_t>(v.length()));
  return product;
}

Vec_ZZ_p operator*(const Vec_ZZ_p& v, int k) { return k * v; }

Vec_ZZ_p operator%(const Vec_ZZ_p& v, int k) {
  if (k < 1) gf3mq::exit_with_message(msg::bad_vector_modulus);
  Vec_ZZ_p residue(v.length());
  for (int i = 0; i < v.length(); ++i) residue.data()[i] = static_cast<std::uint8_t>(v.data()[i] % k);
  return residue;
}

std::ostream& operator<<(std::ostream& out, const Vec_ZZ_p& v) {
  out << '[';
  for (int i = 0; i < v.length(); ++i) {
    if (i > 0) out << ' ';
    out << static_cast<int>(v.data()[i]);
  }
  return out << ']';
}
