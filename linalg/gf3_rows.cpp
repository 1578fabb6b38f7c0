// The element-by-element row kernels, each compiled at every kernel width.
#include "linalg/gf3_rows.h"

#include "runtime/simd_bytes.h"

namespace gf3mq {

namespace {

using simd::fold_below_6;

[[gnu::always_inline]] inline void add_row_body(std::uint8_t* dst, const std::uint8_t* src, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) dst[i] = fold_below_6(static_cast<std::uint8_t>(dst[i] + src[i]));
}

[[gnu::always_inline]] inline void sub_row_body(std::uint8_t* dst, const std::uint8_t* src, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) dst[i] = fold_below_6(static_cast<std::uint8_t>(dst[i] + 3 - src[i]));
}

[[gnu::always_inline]] inline void scale_row_body(std::uint8_t* dst, const std::uint8_t* src, unsigned k,
                                                  std::size_t n) {
  if (k == 0) {
    for (std::size_t i = 0; i < n; ++i) dst[i] = 0;
  } else if (k == 1) {
    std::memmove(dst, src, n);
  } else {
    for (std::size_t i = 0; i < n; ++i) dst[i] = fold_below_6(static_cast<std::uint8_t>(3 - src[i]));
  }
}

// Whole vectors explicitly: GCC leaves the element loop of simd::reduce
// scalar (seven compare-and-moves a byte).
[[gnu::always_inline]] inline void reduce_row_body(std::uint8_t* x, std::size_t n) {
  std::size_t i = 0;
  for (; i + 32 <= n; i += 32) simd::store(x + i, simd::reduce(simd::load<simd::Bytes32>(x + i)));
  for (; i < n; ++i) x[i] = simd::reduce(x[i]);
}

[[gnu::always_inline]] inline std::uint32_t dot_row_body(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
  std::uint32_t s = 0;
  for (std::size_t i = 0; i < n; ++i) s += static_cast<std::uint32_t>(a[i]) * b[i];
  return s;
}

[[gnu::always_inline]] inline void accumulate_row_body(std::uint8_t* acc, const std::uint8_t* src, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) acc[i] = static_cast<std::uint8_t>(acc[i] + src[i]);
}

}  // namespace

GF3MQ_KERNEL_AT_EVERY_WIDTH(void, add_row, (std::uint8_t * dst, const std::uint8_t* src, std::size_t n), (dst, src, n))
GF3MQ_KERNEL_AT_EVERY_WIDTH(void, sub_row, (std::uint8_t * dst, const std::uint8_t* src, std::size_t n), (dst, src, n))
GF3MQ_KERNEL_AT_EVERY_WIDTH(void, scale_row, (std::uint8_t * dst, const std::uint8_t* src, unsigned k, std::size_t n),
                            (dst, src, k, n))
GF3MQ_KERNEL_AT_EVERY_WIDTH(void, reduce_row, (std::uint8_t * x, std::size_t n), (x, n))
GF3MQ_KERNEL_AT_EVERY_WIDTH(std::uint32_t, dot_row, (const std::uint8_t* a, const std::uint8_t* b, std::size_t n),
                            (a, b, n))
GF3MQ_KERNEL_AT_EVERY_WIDTH(void, accumulate_row, (std::uint8_t * acc, const std::uint8_t* src, std::size_t n),
                            (acc, src, n))

void add_scaled_row(std::uint8_t* dst, const std::uint8_t* src, unsigned k, std::size_t n) {
  if (k == 1) {
    add_row(dst, src, n);
  } else if (k == 2) {
    sub_row(dst, src, n);  // 2 * s = -s (mod 3)
  }
}

}  // namespace gf3mq
