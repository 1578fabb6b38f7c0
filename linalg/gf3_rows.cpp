#include "linalg/gf3_rows.h"

#include <algorithm>
#include <cstring>

// Vector helpers below pass 32-byte vectors between inlined internal
// functions only; the note about their ABI without AVX does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

// The kernels are built twice on x86-64, once for AVX2 and once for the
// baseline, and the loader picks the version the processor runs.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define GF3MQ_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define GF3MQ_KERNEL
#endif

namespace gf3mq {

namespace {

// s mod 3 for s in 0..5, branch-free so that loops vectorise.
inline std::uint8_t fold_below_6(std::uint8_t s) {
  const std::uint8_t t = static_cast<std::uint8_t>(s - 3);
  return std::min(s, t);  // t wraps to a large value when s < 3
}

}  // namespace

GF3MQ_KERNEL void add_row(std::uint8_t* dst, const std::uint8_t* src, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) dst[i] = fold_below_6(static_cast<std::uint8_t>(dst[i] + src[i]));
}

GF3MQ_KERNEL void sub_row(std::uint8_t* dst, const std::uint8_t* src, std::size_t n) {
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

GF3MQ_KERNEL void scale_row(std::uint8_t* dst, const std::uint8_t* src, unsigned k, std::size_t n) {
  if (k == 0) {
    std::fill(dst, dst + n, std::uint8_t{0});
  } else if (k == 1) {
    std::copy(src, src + n, dst);
  } else {
    for (std::size_t i = 0; i < n; ++i) dst[i] = fold_below_6(static_cast<std::uint8_t>(3 - src[i]));
  }
}

GF3MQ_KERNEL void reduce_row(std::uint8_t* x, std::size_t n) {
  // Subtract 192, 96, ..., 3 where possible: each step halves the range.
  for (std::size_t i = 0; i < n; ++i) {
    std::uint8_t v = x[i];
    for (std::uint8_t c : {192, 96, 48, 24, 12, 6, 3}) v = std::min(v, static_cast<std::uint8_t>(v - c));
    x[i] = v;
  }
}

GF3MQ_KERNEL std::uint32_t dot_row(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
  std::uint32_t s = 0;
  for (std::size_t i = 0; i < n; ++i) s += static_cast<std::uint32_t>(a[i]) * b[i];
  return s;
}

GF3MQ_KERNEL void accumulate_row(std::uint8_t* acc, const std::uint8_t* src, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) acc[i] = static_cast<std::uint8_t>(acc[i] + src[i]);
}

}  // namespace gf3mq

namespace gf3mq {

namespace {

// 32 bytes as one vector; the compiler maps it onto the widest registers the
// clone is built for.
typedef std::uint8_t Bytes32 __attribute__((vector_size(32)));

[[gnu::always_inline]] inline Bytes32 load32(const std::uint8_t* p) {
  Bytes32 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

[[gnu::always_inline]] inline void store32(std::uint8_t* p, Bytes32 v) { std::memcpy(p, &v, sizeof v); }

[[gnu::always_inline]] inline Bytes32 reduce32(Bytes32 v) {
  for (std::uint8_t c : {192, 96, 48, 24, 12, 6, 3}) v = v >= c ? v - c : v;
  return v;
}

constexpr std::size_t kBlockVectors = 8;  // 256 bytes held in registers
constexpr std::size_t kBlockBytes = kBlockVectors * 32;

}  // namespace

GF3MQ_KERNEL void combine_rows(std::uint8_t* out, const std::uint8_t* coeffs, std::ptrdiff_t coeff_step,
                               const std::uint8_t* rows, const std::uint8_t* doubled, std::size_t n_terms,
                               std::size_t stride, std::size_t width) {
  // Columns in blocks of 256 bytes kept in registers across all terms; the
  // columns after the last whole vector are summed one byte at a time.
  std::size_t column = 0;
  for (; column + 32 <= width; column += kBlockBytes) {
    const std::size_t vectors = std::min(kBlockVectors, (width - column) / 32);
    Bytes32 acc[kBlockVectors] = {};
    int pending = 0;
    for (std::size_t j = 0; j < n_terms; ++j) {
      const std::uint8_t k = coeffs[static_cast<std::ptrdiff_t>(j) * coeff_step];
      if (k == 0) continue;
      const std::uint8_t* row = (k == 1 ? rows : doubled) + j * stride + column;
      if (vectors == kBlockVectors) {
        for (std::size_t q = 0; q < kBlockVectors; ++q) acc[q] += load32(row + 32 * q);
      } else {
        for (std::size_t q = 0; q < vectors; ++q) acc[q] += load32(row + 32 * q);
      }
      if (++pending == kAccumulateLimit) {
        for (auto& v : acc) v = reduce32(v);
        pending = 0;
      }
    }
    for (std::size_t q = 0; q < vectors; ++q) store32(out + column + 32 * q, reduce32(acc[q]));
    if (vectors < kBlockVectors) {
      column += vectors * 32;
      break;
    }
  }
  for (; column < width; ++column) {
    unsigned sum = 0;
    for (std::size_t j = 0; j < n_terms; ++j) {
      const std::uint8_t k = coeffs[static_cast<std::ptrdiff_t>(j) * coeff_step];
      if (k != 0) sum += (k == 1 ? rows : doubled)[j * stride + column];
    }
    out[column] = static_cast<std::uint8_t>(sum % 3u);
  }
}

GF3MQ_KERNEL void combine_padded_rows(std::uint8_t* out, const std::uint8_t* coeffs, std::ptrdiff_t coeff_step,
                                      const std::uint8_t* rows, const std::uint8_t* doubled, std::size_t n_terms,
                                      std::size_t stride) {
  constexpr std::size_t kVectors = 9;  // positions 0..287; the rest of the padding stays zero
  Bytes32 acc[kVectors] = {};
  int pending = 0;
  for (std::size_t j = 0; j < n_terms; ++j) {
    const std::uint8_t k = coeffs[static_cast<std::ptrdiff_t>(j) * coeff_step];
    if (k == 0) continue;
    const std::uint8_t* row = (k == 1 ? rows : doubled) + j * stride;
    for (std::size_t q = 0; q < kVectors; ++q) acc[q] += load32(row + 32 * q);
    if (++pending == kAccumulateLimit) {
      for (auto& v : acc) v = reduce32(v);
      pending = 0;
    }
  }
  for (std::size_t q = 0; q < kVectors; ++q) store32(out + 32 * q, reduce32(acc[q]));
  std::fill(out + 32 * kVectors, out + kPaddedRow, std::uint8_t{0});
}

namespace {

#if defined(__x86_64__) && defined(__GNUC__)
#define GF3MQ_HAVE_WIDE_KERNEL 1

typedef std::uint8_t Bytes64 __attribute__((vector_size(64)));

// Four output rows of five 64-byte vectors each: twenty accumulators, which
// the 32 registers of AVX-512 hold. The coefficient picks the zero row, the
// row or its double without a branch.
__attribute__((target("avx512bw"))) void combine4_avx512(std::uint8_t* const out[4], const std::uint8_t* const coeffs[4],
                                                        const std::uint8_t* rows, const std::uint8_t* doubled,
                                                        std::size_t n_terms, std::size_t stride) {
  constexpr int kVectors = static_cast<int>(kPaddedRow / 64);
  alignas(64) static const std::uint8_t zero_row[kPaddedRow] = {};
  Bytes64 acc[4][kVectors] = {};
  int pending = 0;
  for (std::size_t t = 0; t < n_terms; ++t) {
    const std::uint8_t* choice[3] = {zero_row, rows + t * stride, doubled + t * stride};
    for (int r = 0; r < 4; ++r) {
      const std::uint8_t* row = choice[coeffs[r][t]];
      for (int q = 0; q < kVectors; ++q) {
        Bytes64 v;
        std::memcpy(&v, row + 64 * q, sizeof v);
        acc[r][q] += v;
      }
    }
    if (++pending == kAccumulateLimit) {
      for (auto& out_row : acc)
        for (auto& v : out_row)
          for (std::uint8_t c : {192, 96, 48, 24, 12, 6, 3}) v = v >= c ? v - c : v;
      pending = 0;
    }
  }
  for (int r = 0; r < 4; ++r) {
    for (int q = 0; q < kVectors; ++q) {
      Bytes64 v = acc[r][q];
      for (std::uint8_t c : {192, 96, 48, 24, 12, 6, 3}) v = v >= c ? v - c : v;
      std::memcpy(out[r] + 64 * q, &v, sizeof v);
    }
  }
}

bool has_wide_kernel() {
  static const bool supported = __builtin_cpu_supports("avx512bw");
  return supported;
}
#endif

}  // namespace

void combine_padded_rows4(std::uint8_t* const out[4], const std::uint8_t* const coeffs[4], const std::uint8_t* rows,
                          const std::uint8_t* doubled, std::size_t n_terms, std::size_t stride) {
#ifdef GF3MQ_HAVE_WIDE_KERNEL
  if (has_wide_kernel()) {
    combine4_avx512(out, coeffs, rows, doubled, n_terms, stride);
    return;
  }
#endif
  for (int r = 0; r < 4; ++r) combine_padded_rows(out[r], coeffs[r], 1, rows, doubled, n_terms, stride);
}

}  // namespace gf3mq
