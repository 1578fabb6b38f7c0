#include "linalg/quadratic_form.h"

#include <cstring>

#include "runtime/kernel_width.h"
#include "runtime/simd_bytes.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define GF3MQ_HAVE_FORM_VECTORS 1
#else
#define GF3MQ_HAVE_FORM_VECTORS 0
#endif

namespace gf3mq {

namespace {

// x_k times a row's sum, added over every row: at most 2 * 2 * (the bound of
// a 16-bit lane) per row and 32-bit lane, n + 1 rows.
static_assert((kFormMaxVariables + 1) * 2 * 2 * 32767 < (std::uint64_t{1} << 31),
              "a form's sum must fit a signed 32-bit lane");

unsigned form_value_portable(const std::uint8_t* form, std::size_t stride, const std::uint8_t* x, std::size_t n) {
  // A row's dot product is at most n * 255 * 2; x_k times its residue at most 4.
  std::uint32_t sum = 0;
  for (std::size_t k = 1; k <= n; ++k) {
    const unsigned weight = k < n ? x[k] : 1u;
    if (weight == 0) continue;
    const std::uint8_t* row = form + k * stride;
    std::uint32_t dot = 0;
    for (std::size_t j = 0; j < k && j < n; ++j) dot += static_cast<std::uint32_t>(row[j]) * x[j];
    sum += weight * (dot % 3u);
  }
  return sum % 3u;
}

#if GF3MQ_HAVE_FORM_VECTORS

// kKeep + 64 - r: 64 bytes, the first r of them 0xFF.
alignas(64) constexpr std::uint8_t kKeep[128] = {
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255};

// 16-bit sums of row[j] x[j] over j < length, in pairs: maddubs multiplies
// the row's bytes (unsigned) by x's (signed, 0..2). The last partial vector
// takes x masked to the row, and reads past the row only where the form
// goes on (below `end`); otherwise a copy of the rest of the row.
GF3MQ_TARGET_AVX2 inline void add_row_sum_avx2(const std::uint8_t* row, const std::uint8_t* x, std::size_t length,
                                               const std::uint8_t* end, __m256i& acc) {
  std::size_t j = 0;
  for (; j + 32 <= length; j += 32)
    acc = _mm256_add_epi16(acc, _mm256_maddubs_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + j)),
                                                     _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x + j))));
  if (j == length) return;
  const std::size_t rest = length - j;
  const __m256i keep = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kKeep + 64 - rest));
  const __m256i xs = _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(x + j)), keep);
  __m256i r;
  if (row + j + 32 <= end) {
    r = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + j));
  } else {
    alignas(32) std::uint8_t tail[32] = {};
    std::memcpy(tail, row + j, rest);
    r = _mm256_load_si256(reinterpret_cast<const __m256i*>(tail));
  }
  acc = _mm256_add_epi16(acc, _mm256_maddubs_epi16(r, xs));
}

GF3MQ_TARGET_AVX2 unsigned form_value_avx2(const std::uint8_t* form, std::size_t stride, const std::uint8_t* x,
                                           std::size_t n) {
  const std::uint8_t* end = form + n * stride + n;
  __m256i total = _mm256_setzero_si256();
  for (std::size_t k = 1; k <= n; ++k) {
    const int weight = k < n ? x[k] : 1;
    if (weight == 0) continue;
    __m256i acc = _mm256_setzero_si256();
    add_row_sum_avx2(form + k * stride, x, k < n ? k : n, end, acc);
    total = _mm256_add_epi32(total, _mm256_madd_epi16(acc, _mm256_set1_epi16(static_cast<short>(weight))));
  }
  alignas(32) std::int32_t lanes[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), total);
  std::uint32_t sum = 0;
  for (const std::int32_t lane : lanes) sum += static_cast<std::uint32_t>(lane) % 3u;
  return sum % 3u;
}

GF3MQ_TARGET_AVX512 unsigned form_value_avx512(const std::uint8_t* form, std::size_t stride, const std::uint8_t* x,
                                               std::size_t n) {
  __m512i total = _mm512_setzero_si512();
  for (std::size_t k = 1; k <= n; ++k) {
    const int weight = k < n ? x[k] : 1;
    if (weight == 0) continue;
    const std::uint8_t* row = form + k * stride;
    const std::size_t length = k < n ? k : n;
    __m512i acc = _mm512_setzero_si512();
    std::size_t j = 0;
    for (; j + 64 <= length; j += 64)
      acc = _mm512_add_epi16(acc, _mm512_maddubs_epi16(_mm512_loadu_si512(row + j), _mm512_loadu_si512(x + j)));
    if (j < length) {
      const __mmask64 rest = (std::uint64_t{1} << (length - j)) - 1;
      acc = _mm512_add_epi16(
          acc, _mm512_maddubs_epi16(_mm512_maskz_loadu_epi8(rest, row + j), _mm512_maskz_loadu_epi8(rest, x + j)));
    }
    total = _mm512_add_epi32(total, _mm512_madd_epi16(acc, _mm512_set1_epi16(static_cast<short>(weight))));
  }
  alignas(64) std::int32_t lanes[16];
  _mm512_store_si512(lanes, total);
  std::uint32_t sum = 0;
  for (const std::int32_t lane : lanes) sum += static_cast<std::uint32_t>(lane) % 3u;
  return sum % 3u;
}

#endif

}  // namespace

unsigned form_value(const std::uint8_t* form, std::size_t stride, const std::uint8_t* x, std::size_t n) {
#if GF3MQ_HAVE_FORM_VECTORS
  return at_kernel_width(form_value_portable, form_value_avx2, form_value_avx512)(form, stride, x, n);
#else
  return form_value_portable(form, stride, x, n);
#endif
}

}  // namespace gf3mq
