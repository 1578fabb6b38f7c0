#include "field/sparse_kernels.h"

#include <algorithm>
#include <utility>

#include "field/sizes.h"
#include "linalg/simd_bytes.h"

namespace gf3mq {

namespace {

using simd::Bytes64;

constexpr int kDegree = kDefaultDegree;  // these kernels are made for the default n
constexpr int kTop = 3 * (kDegree - 1);  // x^768: the top of a cube

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

constexpr int kSpreadBlocks = (kTop + 64) / 64;  // 13 blocks hold x^0 .. x^768
static_assert(kSpreadBlocks * 64 <= static_cast<int>(kSparseBufferBytes));
// The last block reads y from 64 * 12 / 3 = 256 on: a padded copy of y of
// 256 + 64 bytes covers every read.
constexpr int kPaddedY = 256 + 64;

[[gnu::always_inline]] inline void spread_by_shuffles(const std::uint8_t* y, std::uint8_t* p) {
  alignas(64) std::uint8_t padded[kPaddedY] = {};
  std::copy_n(y, kDegree, padded);
  constexpr auto kAll = std::make_index_sequence<64>();
  for (int j = 0; j < kSpreadBlocks; j += 3) {
    const int base = 64 * j / 3;  // k0 of block j, j a multiple of 3
    simd::store(p + 64 * j, spread_block<0>(simd::load<Bytes64>(padded + base), kAll));
    if (j + 1 < kSpreadBlocks)
      simd::store(p + 64 * (j + 1), spread_block<1>(simd::load<Bytes64>(padded + base + first_source(1)), kAll));
    if (j + 2 < kSpreadBlocks)
      simd::store(p + 64 * (j + 2), spread_block<2>(simd::load<Bytes64>(padded + base + first_source(2)), kAll));
  }
  std::fill(p + 64 * kSpreadBlocks, p + kSparseBufferBytes, std::uint8_t{0});
  simd::store(padded, Bytes64{});
  simd::store(padded + 64, Bytes64{});
  simd::store(padded + 128, Bytes64{});
  simd::store(padded + 192, Bytes64{});
  simd::store(padded + 256, Bytes64{});
  asm volatile("" : : "r"(padded) : "memory");
}

// ---- Reduction ----

// Each output byte sums its old value (at most 2) and one term per term of g:
// h where the factor is 1, 3 - h where it is 2 (-h), at most 3.
static_assert(2 + SparseForm::kMaxTerms * 3 <= 255, "a reduced byte plus every term of g must fit a byte");

// ramp[128 + s .. 192 + s) keeps the bytes i >= -s of a vector: the mask for
// a read of H that starts s < 0 bytes before x^257.
constexpr int kMaxShift = SparseForm::kMaxDegree;
static_assert(kMaxShift <= 128, "the ramp covers shifts up to 128");
alignas(64) constexpr std::uint8_t kRamp[256] = {
#define GF3MQ_ZEROS16 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0
#define GF3MQ_ONES16 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255
    GF3MQ_ZEROS16, GF3MQ_ZEROS16, GF3MQ_ZEROS16, GF3MQ_ZEROS16, GF3MQ_ZEROS16, GF3MQ_ZEROS16, GF3MQ_ZEROS16,
    GF3MQ_ZEROS16, GF3MQ_ONES16,  GF3MQ_ONES16,  GF3MQ_ONES16,  GF3MQ_ONES16,  GF3MQ_ONES16,  GF3MQ_ONES16,
    GF3MQ_ONES16,  GF3MQ_ONES16,
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

// Round by round, the block H = p[257 .. top] is replaced by g * H. Output
// block b (x^(W b) .. x^(W b + W - 1), W the vector's width) reads H shifted
// by each power m of g straight from p, at x^(257 + W b - m) and up: above
// x^(W b + 128), so the blocks written before it, all below, are never read
// again in the round.
template <class V, bool kTwoTerms>
[[gnu::always_inline]] inline void reduce_in_vectors(std::uint8_t* p, int top, const SparseForm& g, std::uint8_t* out) {
  constexpr int W = sizeof(V);
  static_assert(256 % W == 0, "x^256 opens a block");
  constexpr int kBoundary = 256 / W;  // the block of x^256, the last one kept below H
  const int degree = g.power[g.terms - 1];
  V keep_x256 = {};
  keep_x256[0] = 0xFF;
  const V three = V{} + 3;
  while (top >= kDegree) {
    const int n = top - kDegree + 1;
    // From the block of the lowest term of g (those below keep their bytes)
    // to the block of the old top (cleared above the new one).
    const int first_block = g.power[0] / W, last_block = std::max(degree + n - 1, top) / W;
    for (int b = first_block; b <= last_block; ++b) {
      V acc = b < kBoundary    ? simd::load<V>(p + W * b)
              : b == kBoundary ? simd::load<V>(p + 256) & keep_x256
                               : V{};
      for (int t = 0; t < (kTwoTerms ? 2 : g.terms); ++t) {
        const int from = W * b - g.power[t];  // index in H of the block's first byte
        if (from + W <= 0 || from >= n) continue;
        V h = simd::load<V>(p + kDegree + from);
        if (from < 0) h &= simd::load<V>(kRamp + 128 + from);
        acc += g.factor[t] == 1 ? h : static_cast<V>(three - h);
      }
      simd::store(p + W * b, kTwoTerms ? reduce_up_to_8(acc) : simd::reduce(acc));
    }
    top = n - 1 + degree;
  }
  std::copy_n(p, kDegree, out);
}

template <class V>
[[gnu::always_inline]] inline void reduce_sparse_body(std::uint8_t* p, int top, const SparseForm& g, std::uint8_t* out) {
  if (g.terms == 2) {
    reduce_in_vectors<V, true>(p, top, g, out);
  } else {
    reduce_in_vectors<V, false>(p, top, g, out);
  }
}

[[gnu::always_inline]] inline void reduce_sparse_kernel_body(std::uint8_t* p, int top, const SparseForm& g,
                                                             std::uint8_t* out) {
  reduce_sparse_body<simd::Bytes32>(p, top, g, out);
}

// Other widths: byte by byte (vector shuffles across 64 bytes cost more there).
void spread_to_cube_bytes(const std::uint8_t* y, std::uint8_t* p) {
  std::fill_n(p, kSparseBufferBytes, std::uint8_t{0});
  for (int k = 0; k < kDegree; ++k) p[3 * k] = y[k];
}

void reduce_sparse_kernel_portable(std::uint8_t* p, int top, const SparseForm& g, std::uint8_t* out) {
  reduce_sparse_kernel_body(p, top, g, out);
}
GF3MQ_TARGET_AVX2 void reduce_sparse_kernel_avx2(std::uint8_t* p, int top, const SparseForm& g, std::uint8_t* out) {
  reduce_sparse_kernel_body(p, top, g, out);
}

GF3MQ_TARGET_AVX512 void spread_to_cube_avx512(const std::uint8_t* y, std::uint8_t* p) { spread_by_shuffles(y, p); }
GF3MQ_TARGET_AVX512 void reduce_sparse_avx512(std::uint8_t* p, int top, const SparseForm& g, std::uint8_t* out) {
  reduce_sparse_body<Bytes64>(p, top, g, out);
}

}  // namespace

void spread_to_cube(const std::uint8_t* y, std::uint8_t* p) {
  at_kernel_width(spread_to_cube_bytes, spread_to_cube_bytes, spread_to_cube_avx512)(y, p);
}

void reduce_sparse(std::uint8_t* p, int top, const SparseForm& g, std::uint8_t* out) {
  at_kernel_width(reduce_sparse_kernel_portable, reduce_sparse_kernel_avx2, reduce_sparse_avx512)(p, top, g, out);
}

}  // namespace gf3mq
