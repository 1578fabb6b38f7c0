// Kernels on GF(3) rows packed two bits to an element (bit-sliced): 64
// elements in two 64-bit words, the "ones" word with a 1 bit where the
// element is 1 and the "twos" word with a 1 bit where it is 2 (never both).
// Negation swaps the two words; 2 * x = -x.
//
// A row is given as its two planes of n words each. Every kernel runs at
// the kernel width in use (kernel_width.h).
#pragma once

#include <cstddef>
#include <cstdint>

namespace gf3mq {

// (d1, d2) = (d1, d2) + (s1, s2) mod 3, word by word.
void packed_add(std::uint64_t* d1, std::uint64_t* d2, const std::uint64_t* s1, const std::uint64_t* s2, std::size_t n);

// (d1, d2) = (d1, d2) + k * (s1, s2), k in 0..2.
void packed_add_multiple(std::uint64_t* d1, std::uint64_t* d2, const std::uint64_t* s1, const std::uint64_t* s2,
                         unsigned k, std::size_t n);

// The sum of a[i] * b[i] over the n * 64 elements of two packed rows, mod 3.
unsigned packed_dot(const std::uint64_t* a1, const std::uint64_t* a2, const std::uint64_t* b1, const std::uint64_t* b2,
                    std::size_t n);

// out[0..count) = the elements 0..2 of the packed row (ones, twos).
void unpack_elements(const std::uint64_t* ones, const std::uint64_t* twos, std::size_t count, std::uint8_t* out);

// Eight elements 0..2 in the bytes of v (element i in byte i): bit i of
// ones and of twos, bits 8.. clear. The low bits of the bytes equal to 1
// and to 2 are gathered by one multiplication each: byte i's bit at 8i
// times kGatherBytes lands at bit 56 + i.
inline constexpr std::uint64_t kLowBitOfEachByte = 0x0101010101010101ull;
inline constexpr std::uint64_t kGatherBytes = 0x0102040810204080ull;
inline void pack_eight_elements(std::uint64_t v, std::uint64_t& ones, std::uint64_t& twos) {
  ones = ((v & ~(v >> 1) & kLowBitOfEachByte) * kGatherBytes) >> 56;
  twos = (((v >> 1) & kLowBitOfEachByte) * kGatherBytes) >> 56;
}

// Bits [at, at + count) of a plane of `words` words, count in 1..64, in the low bits.
inline std::uint64_t bits_from(const std::uint64_t* plane, std::size_t words, std::size_t at, unsigned count) {
  const std::size_t w = at / 64;
  const unsigned shift = static_cast<unsigned>(at % 64);
  std::uint64_t bits = plane[w] >> shift;
  if (shift != 0 && w + 1 < words) bits |= plane[w + 1] << (64 - shift);
  return count == 64 ? bits : bits & ((std::uint64_t{1} << count) - 1);
}

// plane |= bits[0..count) from bit `at` on, count in 1..64 (bits above count clear).
inline void place_bits(std::uint64_t* plane, std::size_t at, std::uint64_t bits, unsigned count) {
  const unsigned shift = static_cast<unsigned>(at % 64);
  plane[at / 64] |= bits << shift;
  if (shift != 0 && shift + count > 64) plane[at / 64 + 1] |= bits >> (64 - shift);
}

// b0 + 3 b1 + 9 b2 for the bits b0 b1 b2 of a three-bit mask: the index of
// three elements from their bits of ones o and twos t is
// kTritsOfBits[o] + 2 kTritsOfBits[t].
inline constexpr std::uint8_t kTritsOfBits[8] = {0, 1, 3, 4, 9, 10, 12, 13};

}  // namespace gf3mq
