// The size of the scheme: n, the number of elements of a plaintext, of a
// ciphertext and of a field element, and every size derived from it. n is
// odd, from 5 to 1021 (X -> X^30 is two-to-one on GF(3^n) for odd n); the
// default, and the size the system's own entry points mean, is 257.
#pragma once

#include <cstddef>

namespace gf3mq {

inline constexpr int kSmallestDegree = 5;
inline constexpr int kLargestDegree = 1021;

// Whether the system works at n: odd, from kSmallestDegree to kLargestDegree.
constexpr bool degree_exists(int n) { return n % 2 == 1 && n >= kSmallestDegree && n <= kLargestDegree; }

struct Sizes {
  int n;

  constexpr std::size_t elements() const { return static_cast<std::size_t>(n); }  // x, c, sk, a field element
  constexpr int variables_and_one() const { return n + 1; }   // positions of a form: x_0 .. x_(n-1) and 1
  constexpr int reduction_rows() const { return 2 * n - 2; }  // x^n .. x^(3n - 3)
  constexpr int frobenius_rows() const { return n; }          // x^0, x^27, ..., x^(27 (n - 1))
  constexpr std::size_t form_digits() const {                 // (n + 1)^2
    return static_cast<std::size_t>(n + 1) * static_cast<std::size_t>(n + 1);
  }
  constexpr std::size_t public_key_digits() const { return elements() * form_digits(); }  // n (n + 1)^2
  constexpr std::size_t matrix_digits() const { return elements() * elements(); }         // n^2
  constexpr std::size_t reduction_digits() const {                                        // (2n - 2) n
    return static_cast<std::size_t>(reduction_rows()) * elements();
  }
  constexpr std::size_t decrypted_bytes() const { return 2 * elements(); }  // both candidates
};

// The default n, and the one the system's own entry points mean.
inline constexpr Sizes kDefaultSizes{257};

// The n whose (Sizes{n}.*digits_of)() is digits, 0 when no n that exists
// has it: the n of a file from how many digits it holds.
constexpr int degree_from_digits(std::size_t digits, std::size_t (Sizes::*digits_of)() const) {
  for (int n = kSmallestDegree; n <= kLargestDegree; n += 2)
    if ((Sizes{n}.*digits_of)() == digits) return n;
  return 0;
}

}  // namespace gf3mq
