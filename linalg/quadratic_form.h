// Values of quadratic forms over GF(3) stored as rows of bytes.
//
// A form of n variables is n + 1 rows `stride` >= n bytes apart. Row k < n
// holds F(k, j) for j < k, the strict lower triangle (the rest of the row is
// never read); row n holds the linear part F(n, j), j < n. At a column x of
// n elements 0..2 the form's value is
//
//   v = sum over j < k < n of x_k F(k, j) x_j + sum over j < n of F(n, j) x_j (mod 3),
//
// bytes of F of any value counting mod 3. Only form[0 .. n * stride + n) is
// read.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gf3mq {

// The most variables form_value takes: its vector kernels keep a row's sum
// in 16-bit lanes, 1020 at most per 32 bytes of the row (255 * 2 twice).
inline constexpr std::size_t kFormMaxVariables = 1024;
static_assert(kFormMaxVariables / 32 * (255 * 2 * 2) <= 32767, "a row's sum must fit a signed 16-bit lane");

// Bytes of the column x that form_value may read: n rounded up to whole
// 64-byte vectors (the values past n do not matter).
constexpr std::size_t form_column_bytes(std::size_t n) { return (n + 63) / 64 * 64; }

// v as above, 0..2, for 1 <= n <= kFormMaxVariables.
unsigned form_value(const std::uint8_t* form, std::size_t stride, const std::uint8_t* x, std::size_t n);

}  // namespace gf3mq
