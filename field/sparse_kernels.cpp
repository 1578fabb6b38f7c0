#include "field/sparse_kernels.h"

#include <algorithm>
#include <cstring>

#include "field/sizes.h"
#include "runtime/simd_bytes.h"

namespace gf3mq {

namespace {

using simd::Bytes64;

// ---- Spreading x^k -> x^(3k) ----

// Block j of the spread (bytes 64 j .. 64 j + 63) holds y[k] at 3k - 64 j;
// with R = j mod 3 it takes y from k0 = 64 (j - R) / 3 + ceil(64 R / 3) on,
// so the pattern of the block depends on R alone: byte i is y[k0 + index(R, i)]
// where 64 R + i is a multiple of 3, and 0 elsewhere (index 64 reads the
// zero vector).
constexpr int first_source(int R) { return (64 * R + 2) / 3; }
constexpr int spread_index(int R, int i) { return (64 * R + i) % 3 == 0 ? (64 * R + i) / 3 - first_source(R) : 64; }

template <int R, std::size_t... I>
[[gnu::always_inline]] inline Bytes64 spread_block(Bytes64 source, std::index_sequence<I...>) {
  return __builtin_shufflevector(source, Bytes64{}, spread_index(R, static_cast<int>(I))...);
}

// The blocks that hold x^0 .. x^(3n - 3); the vector after them is the
// zero one of sparse_buffer_bytes(n).
constexpr int spread_blocks(int n) { return 3 * (n - 1) / 64 + 1; }
static_assert(64 * spread_blocks(kLargestDegree) + 64 == static_cast<int>(kSparseBufferBytes));
static_assert(64 * spread_blocks(kDefaultSizes.n) + 64 == static_cast<int>(sparse_buffer_bytes(kDefaultSizes.n)));

// Block j reads y from about 64 j / 3 <= n - 1 on, 64 bytes: a copy of y
// with 64 zeros after it covers every read.
constexpr std::size_t kPaddedY = (kLargestDegree + 64 + 63) / 64 * 64;

[[gnu::always_inline]] inline void spread_by_shuffles(const std::uint8_t* y, int n, std::uint8_t* p) {
  alignas(64) std::uint8_t padded[kPaddedY];
  std::copy_n(y, n, padded);
  std::fill_n(padded + n, 64, std::uint8_t{0});
  constexpr auto kAll = std::make_index_sequence<64>();
  const int blocks = spread_blocks(n);
  for (int j = 0; j < blocks; j += 3) {
    const int base = 64 * j / 3;  // k0 of block j, j a multiple of 3
    simd::store(p + 64 * j, spread_block<0>(simd::load<Bytes64>(padded + base), kAll));
    if (j + 1 < blocks)
      simd::store(p + 64 * (j + 1), spread_block<1>(simd::load<Bytes64>(padded + base + first_source(1)), kAll));
    if (j + 2 < blocks)
      simd::store(p + 64 * (j + 2), spread_block<2>(simd::load<Bytes64>(padded + base + first_source(2)), kAll));
  }
  simd::store(p + 64 * blocks, Bytes64{});
  // The copy of y is secret: wiped with stores the compiler keeps.
  for (int i = 0; i < n; i += 64) {
    simd::store(padded + i, Bytes64{});
    asm volatile("" : : "r"(padded) : "memory");
  }
}

// ---- Reduction ----

// Each output byte sums its old value (at most 2) and one term per term of g:
// h where the factor is 1, 3 - h where it is 2 (-h), at most 3.
static_assert(2 + SparseForm::kMaxTerms * 3 <= 255, "a reduced byte plus every term of g must fit a byte");

// kRamp + 128 + s, -64 < s <= 0: the bytes i >= -s of a vector kept.
alignas(64) constexpr std::uint8_t kRamp[256] = {
#define GF3MQ_ZEROS16 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0
#define GF3MQ_ONES16 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255
    GF3MQ_ZEROS16, GF3MQ_ZEROS16, GF3MQ_ZEROS16, GF3MQ_ZEROS16, GF3MQ_ZEROS16, GF3MQ_ZEROS16,
    GF3MQ_ZEROS16, GF3MQ_ZEROS16, GF3MQ_ONES16,  GF3MQ_ONES16,  GF3MQ_ONES16,  GF3MQ_ONES16,
    GF3MQ_ONES16,  GF3MQ_ONES16,  GF3MQ_ONES16,  GF3MQ_ONES16,
#undef GF3MQ_ZEROS16
#undef GF3MQ_ONES16
};

// v mod 3 for bytes v <= 8: the sums of a g with at most two terms.
template <class V>
[[gnu::always_inline]] inline V reduce_up_to_8(V v) {
  v = simd::min(v, static_cast<V>(v - 6));
  return simd::min(v, static_cast<V>(v - 3));
}
static_assert(2 + 2 * 3 <= 8, "two terms of g keep a sum at most 8");

// Round by round, the block H = p[n .. top] is replaced by g * H. Output
// block b (x^(W b) .. x^(W b + W - 1), W the vector's width) reads H shifted
// by each power m of g straight from p, at x^(n + W b - m) and up: above
// x^(W b), as m < n, so the blocks written before it are never read again in
// the round. Block B, that of x^(n - 1), keeps its bytes below x^n; the
// blocks above it start from zero.
// kN is n where it is known when compiling (the default n, whose bounds
// then become constants), 0 otherwise.
template <class V, bool kTwoTerms, int kN>
[[gnu::always_inline]] inline void reduce_in_vectors(std::uint8_t* p, int any_n, int top, const SparseForm& g,
                                                     std::uint8_t* out) {
  constexpr int W = sizeof(V);
  const int n = kN != 0 ? kN : any_n;
  const int boundary = (n - 1) / W;
  const V keep_below_n = ~simd::load<V>(kRamp + 128 - (n - W * boundary));
  const int degree = g.power[g.terms - 1];
  const V three = V{} + 3;
  while (top >= n) {
    const int h = top - n + 1;
    // From the block of the lowest term of g (those below keep their bytes)
    // to the block of the old top (cleared above the new one).
    const int first_block = g.power[0] / W, last_block = std::max(degree + h - 1, top) / W;
    for (int b = first_block; b <= last_block; ++b) {
      V acc = b < boundary ? simd::load<V>(p + W * b) : b == boundary ? simd::load<V>(p + W * b) & keep_below_n : V{};
      for (int t = 0; t < (kTwoTerms ? 2 : g.terms); ++t) {
        const int from = W * b - g.power[t];  // index in H of the block's first byte
        if (from + W <= 0 || from >= h) continue;
        V hv = simd::load<V>(p + n + from);
        if (from < 0) hv &= simd::load<V>(kRamp + 128 + from);
        acc += g.factor[t] == 1 ? hv : static_cast<V>(three - hv);
      }
      simd::store(p + W * b, kTwoTerms ? reduce_up_to_8(acc) : simd::reduce(acc));
    }
    top = h - 1 + degree;
  }
  std::copy_n(p, n, out);
}

template <class V>
[[gnu::always_inline]] inline void reduce_sparse_body(std::uint8_t* p, int n, int top, const SparseForm& g,
                                                      std::uint8_t* out) {
  if (n == kDefaultSizes.n) {
    if (g.terms == 2) return reduce_in_vectors<V, true, kDefaultSizes.n>(p, n, top, g, out);
    return reduce_in_vectors<V, false, kDefaultSizes.n>(p, n, top, g, out);
  }
  if (g.terms == 2) return reduce_in_vectors<V, true, 0>(p, n, top, g, out);
  reduce_in_vectors<V, false, 0>(p, n, top, g, out);
}

// Other widths: byte by byte (vector shuffles across 64 bytes cost more there).
void spread_to_cube_bytes(const std::uint8_t* y, int n, std::uint8_t* p) {
  std::fill_n(p, sparse_buffer_bytes(n), std::uint8_t{0});
  for (int k = 0; k < n; ++k) p[3 * k] = y[k];
}

void reduce_sparse_kernel_portable(std::uint8_t* p, int n, int top, const SparseForm& g, std::uint8_t* out) {
  reduce_sparse_body<simd::Bytes32>(p, n, top, g, out);
}
GF3MQ_TARGET_AVX2 void reduce_sparse_kernel_avx2(std::uint8_t* p, int n, int top, const SparseForm& g,
                                                 std::uint8_t* out) {
  reduce_sparse_body<simd::Bytes32>(p, n, top, g, out);
}

GF3MQ_TARGET_AVX512 void spread_to_cube_avx512(const std::uint8_t* y, int n, std::uint8_t* p) {
  spread_by_shuffles(y, n, p);
}
GF3MQ_TARGET_AVX512 void reduce_sparse_avx512(std::uint8_t* p, int n, int top, const SparseForm& g, std::uint8_t* out) {
  reduce_sparse_body<Bytes64>(p, n, top, g, out);
}

}  // namespace

std::optional<SparseForm> sparse_form_of(const std::uint8_t* g, int n) {
  // Asked before every single product at 257 (field_mul): zeros are passed
  // over eight at a time.
  const int top = max_sparse_degree(n);
  std::uint8_t above = 0;  // any term above the highest degree taken
  for (int m = top + 1; m < n; ++m) above |= g[m];
  if (above != 0) return std::nullopt;
  SparseForm form;
  for (int m = 0; m <= top; ++m) {
    if (std::uint64_t eight; m + 8 <= top + 1 && (std::memcpy(&eight, g + m, 8), eight == 0)) {
      m += 7;
      continue;
    }
    if (g[m] == 0) continue;
    if (g[m] > 2 || form.terms == SparseForm::kMaxTerms) return std::nullopt;
    form.power[form.terms] = m;
    form.factor[form.terms] = g[m];
    ++form.terms;
  }
  if (form.terms == 0) return std::nullopt;
  return form;
}

void spread_to_cube(const std::uint8_t* y, int n, std::uint8_t* p) {
  at_kernel_width(spread_to_cube_bytes, spread_to_cube_bytes, spread_to_cube_avx512)(y, n, p);
}

void reduce_sparse(std::uint8_t* p, int n, int top, const SparseForm& g, std::uint8_t* out) {
  at_kernel_width(reduce_sparse_kernel_portable, reduce_sparse_kernel_avx2, reduce_sparse_avx512)(p, n, top, g, out);
}

}  // namespace gf3mq
