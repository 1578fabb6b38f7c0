// Products of polynomials over GF(3) on bit-planes.
//
// A polynomial of degree < 512 is held as two planes of 512 bits, as in
// packed_rows.h: bit i of `ones` is set where the coefficient of x^i is 1,
// bit i of `twos` where it is 2 (word w of a plane holds x^(64 w) ..
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
// The comb is written once (poly_mul_planes.h); each kernel width has its
// own way into the planes and back to bytes.
#include "field/poly_mul.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define GF3MQ_HAVE_AVX512_ENTRY 1
#else
#define GF3MQ_HAVE_AVX512_ENTRY 0
#endif

#include "field/poly_mul_planes.h"
#include "linalg/packed_rows.h"
#include "runtime/secure_wipe.h"
#include "runtime/simd_bytes.h"

namespace gf3mq {

namespace {

// Bounds: an entry has degree at most 256 + 3, shifted by at most
// 64 * 3 + 60 = 252, so the comb stays below x^512, inside one plane; only
// a_256 b_256 reaches x^512.
static_assert((256 + 3) + (64 * 3 + 60) < 512, "the comb's sums must fit one plane");

// ---- The table of window products ----
//
// It keeps one of u and -u (the one whose highest non-zero digit is 1: 41
// slots, 0 among them) and reads the other with its planes swapped. Slot s
// holds its ones plane at byte 128 s and its twos plane 64 bytes on.
constexpr int kWindowEntries = 81;
constexpr int kWindowSlots = 41;
constexpr std::size_t kWindowTableBytes = 128 * kWindowSlots;

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

// table = the kept u(x) b, from c0 b + c1 x b (lo) and x^2 times the same (hi).
template <class P>
[[gnu::always_inline]] inline void fill_window_table(P b, std::uint8_t* table) {
  const P xb = times_x<1>(b);
  P low[9];  // low[c0 + 3 c1] = c0 b + c1 x b
  low[0] = P{};
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
    store_planes(at, low[lo]);
    at += 128;
  }
  for (int hi : {1, 3, 4, 5}) {
    const P high = times_x<2>(low[hi]);
    store_planes(at, high);
    at += 128;
    for (int lo = 1; lo < 9; ++lo) {
      store_planes(at, plus(low[lo], high));
      at += 128;
    }
  }
}

template <int J, class P>
[[gnu::always_inline]] inline P window_entry(const std::uint8_t* table, unsigned u) {
  return times_x_words<J>(load_planes<P>(table + kWindowOffsets.ones[u], table + kWindowOffsets.twos[u]));
}

// ones, twos = the words of a * b, x^0 .. x^575, from the windows of a
// (window[m], m < 64, and a_256) and b's planes; table is scratch.
template <class P>
[[gnu::always_inline]] inline void comb_product(const std::uint32_t* window, unsigned a256, P b, std::uint8_t* table,
                                                std::uint64_t* ones, std::uint64_t* twos) {
  fill_window_table(b, table);
  P sum{};
  for (int k = 60; k >= 0; k -= 4) {
    const unsigned r = static_cast<unsigned>(k / 4);
    const P round = plus(plus(window_entry<0, P>(table, window[r]), window_entry<1, P>(table, window[16 + r])),
                         plus(window_entry<2, P>(table, window[32 + r]), window_entry<3, P>(table, window[48 + r])));
    sum = k == 60 ? round : plus(times_x<4>(sum), round);
  }
  // a_256 x^256 b: words 0..3 of a_256 b go to words 4..7, word 4 (x^256
  // alone) to x^512.
  const P last = window_entry<0, P>(table, a256);
  store_words(ones, twos, plus(sum, times_x_words<4>(last)));
  store_words(ones + 8, twos + 8, word_four(last));
}

// ---- Other widths: half planes, two vectors of four words ----

[[gnu::always_inline]] inline void poly_mul_halves_body(const std::uint8_t* a, const std::uint8_t* b,
                                                        std::size_t length, std::uint8_t* product) {
  // Residues mod 3, zeros from `length` to 320.
  alignas(64) std::uint8_t ra[320], rb[320];
  std::copy_n(a, length, ra);
  std::copy_n(b, length, rb);
  std::fill(ra + length, ra + sizeof ra, std::uint8_t{0});
  std::fill(rb + length, rb + sizeof rb, std::uint8_t{0});
  for (std::size_t i = 0; i < sizeof ra; i += 32) {
    simd::store(ra + i, simd::reduce(simd::load<simd::Bytes32>(ra + i)));
    simd::store(rb + i, simd::reduce(simd::load<simd::Bytes32>(rb + i)));
  }
  alignas(64) std::uint32_t window[64];
  for (std::size_t m = 0; m < 64; ++m)
    window[m] = ra[4 * m] + 3u * ra[4 * m + 1] + 9u * ra[4 * m + 2] + 27u * ra[4 * m + 3];
  // b's planes, eight coefficients at a time.
  alignas(64) std::uint64_t ones[16], twos[16];
  for (std::size_t w = 0; w < 8; ++w) {
    std::uint64_t one_bits = 0, two_bits = 0;
    for (std::size_t i = 0; i < 64 && 64 * w + i < sizeof rb; i += 8) {
      std::uint64_t v;
      std::memcpy(&v, rb + 64 * w + i, 8);
      std::uint64_t eight_ones, eight_twos;
      pack_eight_elements(v, eight_ones, eight_twos);
      one_bits |= eight_ones << i;
      two_bits |= eight_twos << i;
    }
    ones[w] = one_bits;
    twos[w] = two_bits;
  }
  alignas(64) std::uint8_t table[kWindowTableBytes];
  comb_product(window, ra[256], load_planes<HalfPlanes>(ones, twos), table, ones, twos);
  unpack_elements(ones, twos, kPolyProductBytes, product);
  secure_wipe(ra, sizeof ra);
  secure_wipe(rb, sizeof rb);
  secure_wipe(window, sizeof window);
  secure_wipe(table, sizeof table);
  secure_wipe(ones, sizeof ones);
  secure_wipe(twos, sizeof twos);
}

void poly_mul_portable(const std::uint8_t* a, const std::uint8_t* b, std::size_t length, std::uint8_t* product) {
  poly_mul_halves_body(a, b, length, product);
}

GF3MQ_TARGET_AVX2 void poly_mul_avx2(const std::uint8_t* a, const std::uint8_t* b, std::size_t length,
                                     std::uint8_t* product) {
  poly_mul_halves_body(a, b, length, product);
}

#if GF3MQ_HAVE_AVX512_ENTRY

// ---- AVX-512: one 512-bit register per plane ----

// Bytes 64 q .. 64 q + 63 of c below `length`, mod 3, zeros from `length` on.
GF3MQ_TARGET_AVX512 inline __m512i residues(const std::uint8_t* c, std::size_t length, std::size_t q) {
  const std::size_t begin = 64 * q;
  const std::size_t count = length <= begin ? 0 : std::min<std::size_t>(64, length - begin);
  const __mmask64 wanted = count == 64 ? ~__mmask64{0} : (__mmask64{1} << count) - 1;
  simd::Bytes64 bytes = (simd::Bytes64)_mm512_maskz_loadu_epi8(wanted, c + begin);
  simd::reduce_in_place(bytes);
  return (__m512i)bytes;
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

// The planes of c_0 .. c_(length - 1), bytes taken mod 3.
GF3MQ_TARGET_AVX512 inline WordPlanes planes_of(const std::uint8_t* c, std::size_t length) {
  alignas(64) std::uint64_t ones[8] = {}, twos[8] = {};
  for (std::size_t q = 0; q < 5; ++q) {
    const __m512i v = residues(c, length, q);
    ones[q] = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(1));
    twos[q] = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(2));
  }
  const WordPlanes planes = load_planes<WordPlanes>(ones, twos);
  wipe64(ones, sizeof ones);
  wipe64(twos, sizeof twos);
  return planes;
}

// Bytes 0, 1, 2 of 64 coefficients from one word of each plane.
GF3MQ_TARGET_AVX512 inline void store_bytes(std::uint8_t* out, std::uint64_t ones, std::uint64_t twos) {
  const __m512i bytes = _mm512_or_si512(_mm512_maskz_mov_epi8(ones, _mm512_set1_epi8(1)),
                                        _mm512_maskz_mov_epi8(twos, _mm512_set1_epi8(2)));
  _mm512_storeu_si512(out, bytes);
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
  alignas(64) std::uint8_t table[kWindowTableBytes];
  alignas(64) std::uint64_t ones[16], twos[16];
  comb_product(window, a256, planes_of(b, length), table, ones, twos);
  for (int q = 0; q < 9; ++q) store_bytes(product + 64 * q, ones[q], twos[q]);
  // Windows and multiples of secret factors.
  wipe64(table, sizeof table);
  wipe64(window, sizeof window);
  wipe64(ones, sizeof ones);
  wipe64(twos, sizeof twos);
}

#endif

}  // namespace

void poly_mul(const std::uint8_t* a, const std::uint8_t* b, std::size_t length, std::uint8_t* product) {
#if GF3MQ_HAVE_AVX512_ENTRY
  at_kernel_width(poly_mul_portable, poly_mul_avx2, poly_mul_avx512)(a, b, length, product);
#else
  at_kernel_width(poly_mul_portable, poly_mul_avx2, poly_mul_avx2)(a, b, length, product);
#endif
}

}  // namespace gf3mq
