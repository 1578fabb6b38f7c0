// Vec_ZZ_p: dense vector over GF(3).
//
// Element i is one byte at position i of an owned block, holding 0, 1 or 2.
// Vectors are columns wherever a matrix acts on them (see mat_zz_p.h).
// Copies are deep. Misuse (a length below 1, lengths that differ, an index
// outside the vector) writes one message to standard error and ends the
// process: exit status 1, or abort() for the two length-mismatch messages.
#pragma once

#include <cstdint>
#include <iosfwd>

#include "files/digit_file.h"
#include "runtime/secure_wipe.h"

class Vec_ZZ_p {
 public:
  // Construction, copying, access
  explicit Vec_ZZ_p(int n);                    // v = 0 in GF(3)^n, n >= 1
  Vec_ZZ_p(const Vec_ZZ_p& other);             // deep copy
  Vec_ZZ_p(Vec_ZZ_p&& other) noexcept;         // takes the block; other keeps none
  Vec_ZZ_p& operator=(const Vec_ZZ_p& other);  // deep copy, takes other's length
  Vec_ZZ_p& operator=(Vec_ZZ_p&& other) noexcept;

  int length() const { return length_; }         // n
  void set(int i, unsigned char value);          // v[i] = value mod 3
  unsigned char& operator[](int i);              // v[i], stored unreduced
  const unsigned char& operator[](int i) const;  // v[i]
  std::uint8_t* data() { return data_.get(); }   // the n elements, contiguous
  const std::uint8_t* data() const { return data_.get(); }

  // Arithmetic (mod 3)
  Vec_ZZ_p& operator+=(const Vec_ZZ_p& b);  // v = v + b
  Vec_ZZ_p& operator-=(const Vec_ZZ_p& b);  // v = v - b

  // Text file and console forms
  bool save(const char* file_name) const;  // appends the n digits (created mode 0600, no link followed)
  // Reads the first n digits (whitespace skipped). False, with the vector
  // unchanged, when the file cannot be opened, is short or holds a character
  // other than 0, 1, 2; problem (when given) then says which.
  bool load(const char* file_name, gf3mq::FileProblem* problem = nullptr);
  void print() const;  // "[v0 v1 ...]" on standard output

 private:
  gf3mq::WipedBlock data_;  // wiped before it is released: blocks may hold key material
  int length_;
};

Vec_ZZ_p operator+(const Vec_ZZ_p& a, const Vec_ZZ_p& b);        // a + b
Vec_ZZ_p operator-(const Vec_ZZ_p& a, const Vec_ZZ_p& b);        // a - b
Vec_ZZ_p operator*(int k, const Vec_ZZ_p& v);                    // k * v, k taken mod 3
Vec_ZZ_p operator*(const Vec_ZZ_p& v, int k);                    // v * k, k taken mod 3
Vec_ZZ_p operator%(const Vec_ZZ_p& v, int k);                    // v[i] mod k, k >= 1
std::ostream& operator<<(std::ostream& out, const Vec_ZZ_p& v);  // "[2 0 1]"

namespace gf3mq {

// For routines that check a vector once and then read v.data() directly:
// "Vector index out of range." and exit status 1 unless v has at least n
// elements.
void require_length(const Vec_ZZ_p& v, int n);

}  // namespace gf3mq
