#include "field/poly_mul.h"

#include <algorithm>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "linalg/gf3_rows.h"
#include "linalg/secure_wipe.h"
#include "linalg/simd_bytes.h"

namespace gf3mq {

namespace {

#if defined(__x86_64__) && defined(__GNUC__)

// ---- AVX-512: products on bit-planes ----
//
// A polynomial of degree < 512 is held as two 512-bit registers, the planes
// of packed_rows.h: bit i of `ones` is set where the coefficient of x^i is
// 1, bit i of `twos` where it is 2 (word w of a register holds x^(64 w) ..
// x^(64 w + 63)). Negation swaps the planes.
//
// a * b by a comb over windows of four coefficients of a: window m holds
// a_(4m) .. a_(4m + 3), the base-3 number u = a_(4m) + 3 a_(4m+1) +
// 9 a_(4m+2) + 27 a_(4m+3), and adds entry u of a table of the 81 products
// u(x) b, shifted by x^(4m). With 4m = 64 j + k, round k adds the windows
// of k for j = 0..3, each shifted by whole words, and the sum so far is
// multiplied by x^4 between rounds: 16 rounds and 64 additions in all, the
// last term a_256 x^256 b apart.
//
// Bounds: an entry has degree at most 256 + 3, shifted by at most
// 64 * 3 + 60 = 252, so the comb stays below x^512, inside one register per
// plane; only a_256 b_256 reaches x^512.
static_assert((256 + 3) + (64 * 3 + 60) < 512, "the comb's sums must fit one register per plane");

struct Planes {
  __m512i ones, twos;
};

// The 8-bit truth table of a three-input function for vpternlogq: bit
// 4a + 2b + c holds f(a, b, c).
template <class F>
constexpr int ternary_table(F f) {
  int table = 0;
  for (int i = 0; i < 8; ++i)
    if (f((i & 4) != 0, (i & 2) != 0, (i & 1) != 0)) table |= 1 << i;
  return table;
}

// x + y, four lookups for 512 coefficients. With x = (x1, x2), y = (y1, y2):
//   ones: g = !x2 & (x1 ^ y1), then x2 ? y2 : (!y2 & g)
//   twos: h = (x1 | x2) & !y1, then x1 ? (!y2 & !h) : (y2 ? !h : h)
// (for x2 set, g is clear; for x1 set, h is !y1).
GF3MQ_TARGET_AVX512 inline Planes plus(Planes x, Planes y) {
  constexpr int kG = ternary_table([](bool x1, bool x2, bool y1) { return !x2 && (x1 != y1); });
  constexpr int kOnes = ternary_table([](bool x2, bool y2, bool g) { return x2 ? (y2 && !g) : (!y2 && g); });
  constexpr int kH = ternary_table([](bool x1, bool x2, bool y1) { return (x1 || x2) && !y1; });
  constexpr int kTwos = ternary_table([](bool x1, bool y2, bool h) { return x1 ? (!y2 && !h) : (y2 ? !h : h); });
  const __m512i g = _mm512_ternarylogic_epi64(x.ones, x.twos, y.ones, kG);
  const __m512i h = _mm512_ternarylogic_epi64(x.ones, x.twos, y.ones, kH);
  return {_mm512_ternarylogic_epi64(x.twos, y.twos, g, kOnes), _mm512_ternarylogic_epi64(x.ones, y.twos, h, kTwos)};
}

GF3MQ_TARGET_AVX512 inline Planes minus(Planes x) { return {x.twos, x.ones}; }

// Shifts by whole words use the masked forms of the intrinsics, and shifts
// within words the vector type below: the plain intrinsics start from an
// undefined register, which GCC 12 reports as uninitialized.
typedef std::uint64_t Words __attribute__((vector_size(64)));

// v * x^T within 512 bits, 0 < T < 64: each word takes the top T bits of
// the word below.
template <int T>
GF3MQ_TARGET_AVX512 inline __m512i shifted_up(__m512i v) {
  static_assert(T > 0 && T < 64);
  const Words below = (Words)_mm512_maskz_alignr_epi64(0xFF, v, _mm512_setzero_si512(), 7);  // word w - 1, 0 in word 0
  return (__m512i)(((Words)v << T) | (below >> (64 - T)));
}

template <int T>
GF3MQ_TARGET_AVX512 inline Planes times_x(Planes p) {
  return {shifted_up<T>(p.ones), shifted_up<T>(p.twos)};
}

// p * x^(64 J): whole words up, zeros below.
template <int J>
GF3MQ_TARGET_AVX512 inline Planes times_x_words(Planes p) {
  if constexpr (J == 0) {
    return p;
  } else {
    const __m512i zero = _mm512_setzero_si512();
    return {_mm512_maskz_alignr_epi64(0xFF, p.ones, zero, 8 - J), _mm512_maskz_alignr_epi64(0xFF, p.twos, zero, 8 - J)};
  }
}

// The table of u(x) b keeps one of u and -u (the one whose highest non-zero
// digit is 1: 41 slots, 0 among them) and reads the other with its planes
// swapped. Slot s holds its ones plane at byte 128 s and its twos plane
// 64 bytes on.
constexpr int kWindowEntries = 81;
constexpr int kWindowSlots = 41;

constexpr int digit(int u, int k) {
  for (; k > 0; --k) u /= 3;
  return u % 3;
}
constexpr bool kept_in_table(int u) {
  for (int k = 3; k >= 0; --k)
    if (digit(u, k) != 0) return digit(u, k) == 1;
  return true;
}
constexpr int negated(int u) {
  int v = 0;
  for (int k = 3, scale = 27; k >= 0; --k, scale /= 3) v += (3 - digit(u, k)) % 3 * scale;
  return v;
}

struct WindowOffsets {
  std::uint16_t ones[kWindowEntries], twos[kWindowEntries];  // byte offsets in the table
};

constexpr WindowOffsets kWindowOffsets = [] {
  int slot[kWindowEntries] = {};
  for (int u = 0, next = 0; u < kWindowEntries; ++u)
    if (kept_in_table(u)) slot[u] = next++;
  WindowOffsets offsets{};
  for (int u = 0; u < kWindowEntries; ++u) {
    const bool kept = kept_in_table(u);
    const int at = 128 * slot[kept ? u : negated(u)];
    offsets.ones[u] = static_cast<std::uint16_t>(kept ? at : at + 64);
    offsets.twos[u] = static_cast<std::uint16_t>(kept ? at + 64 : at);
  }
  return offsets;
}();

// The slots in order of u: lo + 9 hi for lo = 0, 1, 3, 4, 5 with hi = 0,
// then every lo with hi = 1, 3, 4, 5 (the hi whose top digit is 1).
static_assert(kept_in_table(0) && kept_in_table(1) && !kept_in_table(2) && kept_in_table(5) && !kept_in_table(6));
static_assert(kWindowOffsets.ones[9 * 5 + 8] == 128 * (kWindowSlots - 1));

GF3MQ_TARGET_AVX512 inline void store(std::uint8_t* at, Planes p) {
  _mm512_store_si512(at, p.ones);
  _mm512_store_si512(at + 64, p.twos);
}

// table = the kept u(x) b, from c0 b + c1 x b (lo) and x^2 times the same (hi).
GF3MQ_TARGET_AVX512 void fill_window_table(Planes b, std::uint8_t* table) {
  const Planes xb = times_x<1>(b);
  Planes low[9];  // low[c0 + 3 c1] = c0 b + c1 x b
  low[0] = {_mm512_setzero_si512(), _mm512_setzero_si512()};
  low[1] = b;
  low[2] = minus(b);
  low[3] = xb;
  low[6] = minus(xb);
  low[4] = plus(b, xb);
  low[8] = minus(low[4]);
  low[5] = plus(minus(b), xb);
  low[7] = minus(low[5]);
  std::uint8_t* at = table;
  for (int lo : {0, 1, 3, 4, 5}) {
    store(at, low[lo]);
    at += 128;
  }
  for (int hi : {1, 3, 4, 5}) {
    const Planes high = times_x<2>(low[hi]);
    store(at, high);
    at += 128;
    for (int lo = 1; lo < 9; ++lo) {
      store(at, plus(low[lo], high));
      at += 128;
    }
  }
}

template <int J>
GF3MQ_TARGET_AVX512 inline Planes window_entry(const std::uint8_t* table, unsigned u) {
  const Planes entry{_mm512_load_si512(table + kWindowOffsets.ones[u]), _mm512_load_si512(table + kWindowOffsets.twos[u])};
  return times_x_words<J>(entry);
}

// Bytes 0, 1, 2 of 64 coefficients from one word of each plane.
GF3MQ_TARGET_AVX512 inline void store_bytes(std::uint8_t* out, std::uint64_t ones, std::uint64_t twos) {
  const __m512i bytes = _mm512_or_si512(_mm512_maskz_mov_epi8(ones, _mm512_set1_epi8(1)),
                                        _mm512_maskz_mov_epi8(twos, _mm512_set1_epi8(2)));
  _mm512_storeu_si512(out, bytes);
}

// Stores zeros over n bytes (a multiple of 64) and keeps the stores: the
// barrier tells the compiler the memory is still looked at. One per store,
// so that the loop stays vector stores and does not become a string
// instruction, which is slow to start for a few kilobytes.
GF3MQ_TARGET_AVX512 inline void wipe64(void* p, std::size_t n) {
  for (std::size_t i = 0; i < n; i += 64) {
    _mm512_store_si512(static_cast<std::uint8_t*>(p) + i, _mm512_setzero_si512());
    asm volatile("" : : "r"(p) : "memory");
  }
}

// Bytes 64 q .. 64 q + 63 of c below `length`, mod 3, zeros from `length` on.
GF3MQ_TARGET_AVX512 inline __m512i residues(const std::uint8_t* c, std::size_t length, std::size_t q) {
  const std::size_t begin = 64 * q;
  const std::size_t count = length <= begin ? 0 : std::min<std::size_t>(64, length - begin);
  const __mmask64 wanted = count == 64 ? ~__mmask64{0} : (__mmask64{1} << count) - 1;
  return (__m512i)simd::reduce((simd::Bytes64)_mm512_maskz_loadu_epi8(wanted, c + begin));
}

// The planes of c_0 .. c_(length - 1), bytes taken mod 3.
GF3MQ_TARGET_AVX512 inline Planes planes_of(const std::uint8_t* c, std::size_t length) {
  alignas(64) std::uint64_t ones[8] = {}, twos[8] = {};
  for (std::size_t q = 0; q < 5; ++q) {
    const __m512i v = residues(c, length, q);
    ones[q] = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(1));
    twos[q] = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(2));
  }
  const Planes planes{_mm512_load_si512(ones), _mm512_load_si512(twos)};
  wipe64(ones, sizeof ones);
  wipe64(twos, sizeof twos);
  return planes;
}

GF3MQ_TARGET_AVX512 void poly_mul_avx512(const std::uint8_t* a, const std::uint8_t* b, std::size_t length,
                                         std::uint8_t* product) {
  // window[m] = a_(4m) + 3 a_(4m+1) + 9 a_(4m+2) + 27 a_(4m+3), m < 64.
  alignas(64) std::uint32_t window[64];
  for (std::size_t q = 0; q < 4; ++q) {
    const __m512i pairs = _mm512_maddubs_epi16(residues(a, length, q), _mm512_set1_epi16(0x0301));
    _mm512_store_si512(window + 16 * q, _mm512_madd_epi16(pairs, _mm512_set1_epi32(0x00090001)));
  }
  const unsigned a256 = ((simd::Bytes64)residues(a, length, 4))[0];
  alignas(64) std::uint8_t table[128 * kWindowSlots];
  fill_window_table(planes_of(b, length), table);

  Planes sum{};
  for (int k = 60; k >= 0; k -= 4) {
    const unsigned r = static_cast<unsigned>(k / 4);
    const Planes round = plus(plus(window_entry<0>(table, window[r]), window_entry<1>(table, window[16 + r])),
                              plus(window_entry<2>(table, window[32 + r]), window_entry<3>(table, window[48 + r])));
    sum = k == 60 ? round : plus(times_x<4>(sum), round);
  }
  // a_256 x^256 b: words 0..3 of a_256 b go to words 4..7, word 4 (x^256
  // alone) to x^512.
  const Planes last = window_entry<0>(table, a256);
  sum = plus(sum, times_x_words<4>(last));
  alignas(64) std::uint64_t ones[16], twos[16];
  _mm512_store_si512(ones, sum.ones);
  _mm512_store_si512(twos, sum.twos);
  _mm512_store_si512(ones + 8, _mm512_maskz_alignr_epi64(1, last.ones, last.ones, 4));
  _mm512_store_si512(twos + 8, _mm512_maskz_alignr_epi64(1, last.twos, last.twos, 4));
  for (int q = 0; q < 9; ++q) store_bytes(product + 64 * q, ones[q], twos[q]);
  // Residues and multiples of secret factors.
  wipe64(table, sizeof table);
  wipe64(window, sizeof window);
  wipe64(ones, sizeof ones);
  wipe64(twos, sizeof twos);
}

#endif

constexpr std::size_t kPad = 256;  // zeros in front of a shifted factor

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
#if defined(__x86_64__) && defined(__GNUC__)
  if (kernel_width() == KernelWidth::avx512) return poly_mul_avx512(a, b, length, product);
#endif
  poly_mul_by_blocks(a, b, length, product);
}

}  // namespace gf3mq
