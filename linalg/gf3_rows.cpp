#include "linalg/gf3_rows.h"

#include <algorithm>

namespace gf3mq {

namespace {

// s mod 3 for s in 0..5, branch-free so that loops vectorise.
inline std::uint8_t fold_below_6(std::uint8_t s) {
  const std::uint8_t t = static_cast<std::uint8_t>(s - 3);
  return std::min(s, t);  // t wraps to a large value when s < 3
}

}  // namespace

void add_row(std::uint8_t* dst, const std::uint8_t* src, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) dst[i] = fold_below_6(static_cast<std::uint8_t>(dst[i] + src[i]));
}

void sub_row(std::uint8_t* dst, const std::uint8_t* src, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    dst[i] = fold_below_6(static_cast<std::uint8_t>(dst[i] + 3 - src[i]));
}

void add_scaled_row(std::uint8_t* dst, const std::uint8_t* src, unsigned k, std::size_t n) {
  if (k == 1) {
    add_row(dst, src, n);
  } else if (k == 2) {
    sub_row(dst, src, n);  // 2 * s = -s (mod 3)
  }
}

void scale_row(std::uint8_t* dst, const std::uint8_t* src, unsigned k, std::size_t n) {
  if (k == 0) {
    std::fill(dst, dst + n, std::uint8_t{0});
  } else if (k == 1) {
    std::copy(src, src + n, dst);
  } else {
    for (std::size_t i = 0; i < n; ++i) dst[i] = fold_below_6(static_cast<std::uint8_t>(3 - src[i]));
  }
}

void reduce_row(std::uint8_t* x, std::size_t n) {
  // Subtract 192, 96, ..., 3 where possible: each step halves the range.
  for (std::size_t i = 0; i < n; ++i) {
    std::uint8_t v = x[i];
    for (std::uint8_t c : {192, 96, 48, 24, 12, 6, 3}) v = std::min(v, static_cast<std::uint8_t>(v - c));
    x[i] = v;
  }
}

std::uint32_t dot_row(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
  std::uint32_t s = 0;
  for (std::size_t i = 0; i < n; ++i) s += static_cast<std::uint32_t>(a[i]) * b[i];
  return s;
}

void accumulate_row(std::uint8_t* acc, const std::uint8_t* src, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) acc[i] = static_cast<std::uint8_t>(acc[i] + src[i]);
}

}  // namespace gf3mq

namespace gf3mq {

void combine_rows(std::uint8_t* out, const std::uint8_t* coeffs, std::ptrdiff_t coeff_step, const std::uint8_t* rows,
                  const std::uint8_t* doubled, std::size_t n_terms, std::size_t stride, std::size_t width) {
  std::fill_n(out, width, std::uint8_t{0});
  int pending = 0;
  for (std::size_t j = 0; j < n_terms; ++j) {
    const std::uint8_t k = coeffs[static_cast<std::ptrdiff_t>(j) * coeff_step];
    if (k == 0) continue;
    accumulate_row(out, (k == 1 ? rows : doubled) + j * stride, width);
    if (++pending == kAccumulateLimit) {
      reduce_row(out, width);
      pending = 0;
    }
  }
  reduce_row(out, width);
}

}  // namespace gf3mq
