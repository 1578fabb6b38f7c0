// Polynomials of degree < 512 over GF(3) on bit-planes, for the products of
// poly_mul.cpp (not part of the library's interface): the ones and twos
// planes of packed_rows.h, 512 bits each, word w holding x^(64 w) ..
// x^(64 w + 63). Two types with the same operations, both vectors that the
// compiler maps onto the registers of the width it compiles for:
//
//   WordPlanes  a vector of eight words per plane: one 512-bit register
//               with AVX-512;
//   HalfPlanes  two vectors of four words per plane, words 0..3 and 4..7:
//               AVX2 registers, or pairs of SSE2 ones.
//
// Operations: plus(x, y) = x + y; minus(x) = -x; times_x<T>(p) = p x^T for
// 0 < T < 64; times_x_words<J>(p) = p x^(64 J); word_four(p) = word 4 of p
// moved to word 0, nothing else. Terms past x^511 are dropped.
#pragma once

#include <cstdint>
#include <cstring>

#include "runtime/simd_bytes.h"  // its note on -Wpsabi: vectors pass between inline helpers only

namespace gf3mq {

// ---- WordPlanes ----

typedef std::uint64_t Words __attribute__((vector_size(64)));

struct WordPlanes {
  Words ones, twos;
};

// x + y with x = (x1, x2), y = (y1, y2), as packed_add:
//   t = (x1 | y2) ^ (x2 | y1),  ones = (x2 | y2) ^ t,  twos = (x1 | y1) ^ t.
[[gnu::always_inline]] inline WordPlanes plus(WordPlanes x, WordPlanes y) {
  const Words t = (x.ones | y.twos) ^ (x.twos | y.ones);
  return {(x.twos | y.twos) ^ t, (x.ones | y.ones) ^ t};
}

[[gnu::always_inline]] inline WordPlanes minus(WordPlanes x) { return {x.twos, x.ones}; }

// v x^(64 J) for J = 1..4: words J.. take words 0.., zeros below.
template <int J>
[[gnu::always_inline]] inline Words words_up(Words v) {
  const Words zero = {};
  if constexpr (J == 1) return __builtin_shufflevector(v, zero, 8, 0, 1, 2, 3, 4, 5, 6);
  if constexpr (J == 2) return __builtin_shufflevector(v, zero, 8, 8, 0, 1, 2, 3, 4, 5);
  if constexpr (J == 3) return __builtin_shufflevector(v, zero, 8, 8, 8, 0, 1, 2, 3, 4);
  if constexpr (J == 4) return __builtin_shufflevector(v, zero, 8, 8, 8, 8, 0, 1, 2, 3);
}

template <int T>
[[gnu::always_inline]] inline WordPlanes times_x(WordPlanes p) {
  static_assert(T > 0 && T < 64);
  return {(p.ones << T) | (words_up<1>(p.ones) >> (64 - T)), (p.twos << T) | (words_up<1>(p.twos) >> (64 - T))};
}

template <int J>
[[gnu::always_inline]] inline WordPlanes times_x_words(WordPlanes p) {
  if constexpr (J == 0) {
    return p;
  } else {
    return {words_up<J>(p.ones), words_up<J>(p.twos)};
  }
}

[[gnu::always_inline]] inline WordPlanes word_four(WordPlanes p) {
  const Words zero = {};
  return {__builtin_shufflevector(p.ones, zero, 4, 8, 8, 8, 8, 8, 8, 8),
          __builtin_shufflevector(p.twos, zero, 4, 8, 8, 8, 8, 8, 8, 8)};
}

template <class P>
P load_planes(const void* ones, const void* twos);

template <>
[[gnu::always_inline]] inline WordPlanes load_planes<WordPlanes>(const void* ones, const void* twos) {
  WordPlanes p;
  std::memcpy(&p.ones, ones, 64);
  std::memcpy(&p.twos, twos, 64);
  return p;
}

// The ones plane at `at`, the twos plane 64 bytes on.
[[gnu::always_inline]] inline void store_planes(std::uint8_t* at, WordPlanes p) {
  std::memcpy(at, &p.ones, 64);
  std::memcpy(at + 64, &p.twos, 64);
}

// The eight words of each plane.
[[gnu::always_inline]] inline void store_words(std::uint64_t* ones, std::uint64_t* twos, WordPlanes p) {
  std::memcpy(ones, &p.ones, 64);
  std::memcpy(twos, &p.twos, 64);
}

// ---- HalfPlanes ----

typedef std::uint64_t Quad __attribute__((vector_size(32)));

struct HalfPlanes {
  Quad ones_low, ones_high, twos_low, twos_high;
};

[[gnu::always_inline]] inline HalfPlanes plus(HalfPlanes x, HalfPlanes y) {
  const Quad t_low = (x.ones_low | y.twos_low) ^ (x.twos_low | y.ones_low);
  const Quad t_high = (x.ones_high | y.twos_high) ^ (x.twos_high | y.ones_high);
  return {(x.twos_low | y.twos_low) ^ t_low, (x.twos_high | y.twos_high) ^ t_high, (x.ones_low | y.ones_low) ^ t_low,
          (x.ones_high | y.ones_high) ^ t_high};
}

[[gnu::always_inline]] inline HalfPlanes minus(HalfPlanes x) {
  return {x.twos_low, x.twos_high, x.ones_low, x.ones_high};
}

// (low, high) x^(64 J) for J = 1..4; indices 4.. pick from the second vector.
template <int J>
[[gnu::always_inline]] inline void words_up(Quad& low, Quad& high) {
  const Quad zero = {};
  if constexpr (J == 1) {
    high = __builtin_shufflevector(high, low, 7, 0, 1, 2);
    low = __builtin_shufflevector(low, zero, 4, 0, 1, 2);
  } else if constexpr (J == 2) {
    high = __builtin_shufflevector(high, low, 6, 7, 0, 1);
    low = __builtin_shufflevector(low, zero, 4, 4, 0, 1);
  } else if constexpr (J == 3) {
    high = __builtin_shufflevector(high, low, 5, 6, 7, 0);
    low = __builtin_shufflevector(low, zero, 4, 4, 4, 0);
  } else if constexpr (J == 4) {
    high = low;
    low = zero;
  }
}

template <int T>
[[gnu::always_inline]] inline void shift_up(Quad& low, Quad& high) {
  static_assert(T > 0 && T < 64);
  Quad below_low = low, below_high = high;
  words_up<1>(below_low, below_high);
  low = (low << T) | (below_low >> (64 - T));
  high = (high << T) | (below_high >> (64 - T));
}

template <int T>
[[gnu::always_inline]] inline HalfPlanes times_x(HalfPlanes p) {
  shift_up<T>(p.ones_low, p.ones_high);
  shift_up<T>(p.twos_low, p.twos_high);
  return p;
}

template <int J>
[[gnu::always_inline]] inline HalfPlanes times_x_words(HalfPlanes p) {
  if constexpr (J != 0) {
    words_up<J>(p.ones_low, p.ones_high);
    words_up<J>(p.twos_low, p.twos_high);
  }
  return p;
}

[[gnu::always_inline]] inline HalfPlanes word_four(HalfPlanes p) {
  const Quad zero = {};
  return {__builtin_shufflevector(p.ones_high, zero, 0, 4, 4, 4), zero,
          __builtin_shufflevector(p.twos_high, zero, 0, 4, 4, 4), zero};
}

template <>
[[gnu::always_inline]] inline HalfPlanes load_planes<HalfPlanes>(const void* ones, const void* twos) {
  HalfPlanes p;
  std::memcpy(&p.ones_low, ones, 32);
  std::memcpy(&p.ones_high, static_cast<const std::uint8_t*>(ones) + 32, 32);
  std::memcpy(&p.twos_low, twos, 32);
  std::memcpy(&p.twos_high, static_cast<const std::uint8_t*>(twos) + 32, 32);
  return p;
}

[[gnu::always_inline]] inline void store_words(std::uint64_t* ones, std::uint64_t* twos, HalfPlanes p) {
  std::memcpy(ones, &p.ones_low, 32);
  std::memcpy(ones + 4, &p.ones_high, 32);
  std::memcpy(twos, &p.twos_low, 32);
  std::memcpy(twos + 4, &p.twos_high, 32);
}

[[gnu::always_inline]] inline void store_planes(std::uint8_t* at, HalfPlanes p) {
  store_words(reinterpret_cast<std::uint64_t*>(at), reinterpret_cast<std::uint64_t*>(at + 64), p);
}

}  // namespace gf3mq
