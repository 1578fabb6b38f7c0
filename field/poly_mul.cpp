#include "field/poly_mul.h"

#include <algorithm>

#include "linalg/gf3_rows.h"
#include "linalg/secure_wipe.h"
#include "linalg/simd_bytes.h"

namespace gf3mq {

namespace {

using simd::Bytes64;

constexpr std::size_t kPad = 256;  // zeros in front of a shifted factor

// Processors with AVX-512 hold a whole product (576 bytes) in nine
// registers. A window of 64 terms of a is taken two at a time: the pair
// (a_i, a_(i+1)) adds entry a_i + 3 a_(i+1) of `pairs` (a_i b + a_(i+1) x b)
// shifted by i, which covers the 320 coefficients from x^(64 G). A window
// adds at most 32 entries of at most 2 onto reduced bytes.
constexpr int kPairsPerWindow = 32;
static_assert(2 + kPairsPerWindow * 2 <= 255, "a window's sum must fit a byte");

template <int G>
[[gnu::always_inline]] inline void product_window(Bytes64 (&acc)[9], const std::uint8_t* pairs, const std::uint8_t* a,
                                                  int length) {
  const int first = 64 * G, last = std::min(first + 64, length);
  for (int i = first; i < last; i += 2) {
    const unsigned next = i + 1 < length ? a[i + 1] : 0u;
    const std::uint8_t* row = pairs + (a[i] + 3u * next) * kPolyProductBytes + kPad - i + first;
    for (int q = 0; q < 5; ++q) acc[G + q] += simd::load<Bytes64>(row + 64 * q);
  }
  for (int q = 0; q < 5; ++q) acc[G + q] = simd::reduce(acc[G + q]);
}

// Stores zeros over n bytes (a multiple of 64) and keeps the stores: the
// barrier tells the compiler the memory is still looked at.
[[gnu::always_inline]] inline void wipe64(std::uint8_t* p, std::size_t n) {
  const Bytes64 zero = {};
  for (std::size_t i = 0; i < n; i += 64) simd::store(p + i, zero);
  asm volatile("" : : "r"(p) : "memory");
}

[[gnu::always_inline]] inline void poly_mul_avx512_body(const std::uint8_t* a, const std::uint8_t* b,
                                                        std::size_t length, std::uint8_t* product) {
  // The nine combinations c0 b + c1 x b, each with 256 zeros in front; the
  // windows read an entry from offset 192 on, and b and x b end by 514.
  constexpr std::size_t kFrom = 192;
  alignas(64) std::uint8_t bases[3][kPolyProductBytes];  // 0, b, 2b, each after kPad zeros
  alignas(64) std::uint8_t pairs[9][kPolyProductBytes];
  alignas(64) std::uint8_t residues[kPolyProductBytes - kPad];  // a mod 3, then zeros
  wipe64(bases[0], sizeof bases);
  wipe64(residues, sizeof residues);
  std::copy_n(b, length, bases[1] + kPad);
  std::copy_n(a, length, residues);
  for (std::size_t q = 0; q < 5; ++q) {
    const Bytes64 once = simd::reduce(simd::load<Bytes64>(bases[1] + kPad + 64 * q));
    simd::store(bases[1] + kPad + 64 * q, once);
    simd::store(bases[2] + kPad + 64 * q, simd::fold_below_6(static_cast<Bytes64>(once + once)));
    simd::store(residues + 64 * q, simd::reduce(simd::load<Bytes64>(residues + 64 * q)));
  }
  a = residues;
  for (int c1 = 0; c1 <= 2; ++c1) {
    for (int c0 = 0; c0 <= 2; ++c0) {
      std::uint8_t* entry = pairs[c0 + 3 * c1];
      simd::store(entry + kFrom, Bytes64{});
      for (std::size_t q = 0; q < 5; ++q) {
        // c0 b(k) + c1 b(k - 1): the second read starts one byte earlier.
        const Bytes64 sum =
            simd::load<Bytes64>(bases[c0] + kPad + 64 * q) + simd::load<Bytes64>(bases[c1] + kPad - 1 + 64 * q);
        simd::store(entry + kPad + 64 * q, simd::fold_below_6(sum));
      }
    }
  }
  Bytes64 acc[9] = {};
  const int n = static_cast<int>(length);
  product_window<0>(acc, pairs[0], a, n);
  if (n > 64) product_window<1>(acc, pairs[0], a, n);
  if (n > 128) product_window<2>(acc, pairs[0], a, n);
  if (n > 192) product_window<3>(acc, pairs[0], a, n);
  if (n > 256) product_window<4>(acc, pairs[0], a, n);
  std::memcpy(product, acc, sizeof acc);
  // Copies and multiples of secret factors.
  for (auto& entry : pairs) wipe64(entry + kFrom, kPolyProductBytes - kFrom);
  wipe64(bases[0], sizeof bases);
  wipe64(residues, sizeof residues);
}

// Compiled for AVX-512 around the body: vectors pass between inlined
// helpers only, never across this call.
GF3MQ_TARGET_AVX512 void poly_mul_avx512(const std::uint8_t* a, const std::uint8_t* b, std::size_t length,
                                         std::uint8_t* product) {
  poly_mul_avx512_body(a, b, length, product);
}

// Other widths: coefficient e is the sum over i of a_i b(e - i). With b
// between zeros, term i is the row read from offset 256 - i. Terms i of one
// block of 64 touch only the 320 coefficients from x^(i & ~63) on, so each
// block is summed over that window (add_row_combination) and then added in.
void poly_mul_by_blocks(const std::uint8_t* a, const std::uint8_t* b, std::size_t length, std::uint8_t* product) {
  // Residues first: the row kernels take coefficients 0, 1, 2 only.
  std::uint8_t ra[kPolyMaxLength], rb[kPolyMaxLength];
  std::copy_n(a, length, ra);
  std::copy_n(b, length, rb);
  reduce_row(ra, length);
  reduce_row(rb, length);
  constexpr std::size_t kBlock = 64;
  alignas(64) std::uint8_t shifted[kPolyProductBytes] = {};
  std::copy_n(rb, length, shifted + kPad);
  std::fill_n(product, kPolyProductBytes, std::uint8_t{0});
  const std::uint8_t* once[kBlock];
  const std::uint8_t* twice[kBlock];
  for (std::size_t first = 0; first < length; first += kBlock) {
    std::size_t n_once = 0, n_twice = 0;
    const std::size_t last = std::min(first + kBlock, length);
    for (std::size_t i = first; i < last; ++i) {
      const std::uint8_t* row = shifted + kPad - i + first;
      once[n_once] = row;
      twice[n_twice] = row;
      n_once += ra[i] == 1;
      n_twice += ra[i] == 2;
    }
    add_row_combination(product + first, product + first, once, n_once, twice, n_twice, 10);
  }
  secure_wipe(shifted, sizeof shifted);
  secure_wipe(ra, sizeof ra);
  secure_wipe(rb, sizeof rb);
}

}  // namespace

void poly_mul(const std::uint8_t* a, const std::uint8_t* b, std::size_t length, std::uint8_t* product) {
  if (kernel_width() == KernelWidth::avx512) {
    poly_mul_avx512(a, b, length, product);
  } else {
    poly_mul_by_blocks(a, b, length, product);
  }
}

}  // namespace gf3mq
