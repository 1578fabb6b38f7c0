// Byte vectors for the kernel sources (not part of the library's interface).
//
// Each kernel is written once as an always-inline body over these helpers
// and compiled into one function per kernel width (kernel_width.h): the
// body takes on the instruction set of the function it is inlined into.
#pragma once

#include <cstdint>
#include <cstring>

#include "runtime/kernel_width.h"

// Vectors of 32 and 64 bytes pass by value only between these always-inline
// helpers and the kernel bodies they are inlined into, none of which carries
// a target attribute: the warning (GCC and Clang) that such arguments change
// the ABI without AVX does not apply to them. A function compiled for a
// target (GF3MQ_TARGET_*) must not pass or return such a vector to or from
// one without it: Clang rejects that as a real mismatch of calling
// conventions. It hands the helpers its vectors by reference instead
// (reduce_in_place), or calls a body that works through pointers.
#pragma GCC diagnostic ignored "-Wpsabi"

#if defined(__x86_64__) && defined(__GNUC__)
#define GF3MQ_TARGET_AVX2 __attribute__((target("avx2")))
#define GF3MQ_TARGET_AVX512 __attribute__((target("avx2,avx512f,avx512bw,avx512vl")))
#else
#define GF3MQ_TARGET_AVX2
#define GF3MQ_TARGET_AVX512
#endif

// Defines name_portable and name_avx2 from the body name_body, and name
// itself, which runs the one of the width in use (at_kernel_width). Kernels
// like these, whose rows are a few hundred bytes, run their AVX2 version at
// the AVX-512 width too: measured, 512-bit code with masked tails is slower
// on such rows.
#define GF3MQ_KERNEL_AT_EVERY_WIDTH(result, name, params, args)                   \
  static result name##_portable params { return name##_body args; }               \
  GF3MQ_TARGET_AVX2 static result name##_avx2 params { return name##_body args; } \
  result name params { return ::gf3mq::at_kernel_width(name##_portable, name##_avx2, name##_avx2) args; }

// The same with an AVX-512 version of its own, compiled from the same body.
#define GF3MQ_KERNEL_AT_THREE_WIDTHS(result, name, params, args)                      \
  static result name##_portable params { return name##_body args; }                   \
  GF3MQ_TARGET_AVX2 static result name##_avx2 params { return name##_body args; }     \
  GF3MQ_TARGET_AVX512 static result name##_avx512 params { return name##_body args; } \
  result name params { return ::gf3mq::at_kernel_width(name##_portable, name##_avx2, name##_avx512) args; }

namespace gf3mq::simd {

typedef std::uint8_t Bytes32 __attribute__((vector_size(32)));
typedef std::uint8_t Bytes64 __attribute__((vector_size(64)));

template <class V>
[[gnu::always_inline]] inline V load(const std::uint8_t* p) {
  V v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <class V>
[[gnu::always_inline]] inline void store(std::uint8_t* p, V v) {
  std::memcpy(p, &v, sizeof v);
}

// Smaller of two vectors, byte by byte.
template <class V>
[[gnu::always_inline]] inline V min(V a, V b) {
  return a < b ? a : b;
}

// v mod 3 for every byte, whatever its value: subtract 192, 96, ..., 3
// where that does not wrap (a wrapped difference is larger than v, so the
// minimum keeps v).
template <class V>
[[gnu::always_inline]] inline V reduce(V v) {
  for (std::uint8_t c : {192, 96, 48, 24, 12, 6, 3}) v = min(v, static_cast<V>(v - c));
  return v;
}

// The same in place, for functions compiled for a target: a reference is
// no vector argument, so their vector never crosses into a function of
// another instruction set.
template <class V>
[[gnu::always_inline]] inline void reduce_in_place(V& v) {
  v = reduce(v);
}

// s mod 3 for bytes s in 0..5.
template <class V>
[[gnu::always_inline]] inline V fold_below_6(V s) {
  return min(s, static_cast<V>(s - 3));
}

// The same for one byte, branch-free so that loops vectorise.
[[gnu::always_inline]] inline std::uint8_t fold_below_6(std::uint8_t s) {
  const std::uint8_t t = static_cast<std::uint8_t>(s - 3);
  return s < t ? s : t;  // t wraps to a large value when s < 3
}

}  // namespace gf3mq::simd
