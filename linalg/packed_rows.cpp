// Bit-sliced GF(3) row kernels. With x = (x1, x2) and y = (y1, y2) the
// planes of ones and twos, x + y is
//   t = (x1 | y2) ^ (x2 | y1),  ones = (x2 | y2) ^ t,  twos = (x1 | y1) ^ t,
// six operations for 64 elements; x - y is the same with y's planes swapped.
#include "linalg/packed_rows.h"

#include <cstring>

#include "runtime/simd_bytes.h"

namespace gf3mq {

namespace {

[[gnu::always_inline]] inline void packed_add_body(std::uint64_t* d1, std::uint64_t* d2, const std::uint64_t* s1,
                                                   const std::uint64_t* s2, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint64_t x1 = d1[i], x2 = d2[i], y1 = s1[i], y2 = s2[i];
    const std::uint64_t t = (x1 | y2) ^ (x2 | y1);
    d1[i] = (x2 | y2) ^ t;
    d2[i] = (x1 | y1) ^ t;
  }
}

[[gnu::always_inline]] inline unsigned packed_dot_body(const std::uint64_t* a1, const std::uint64_t* a2,
                                                       const std::uint64_t* b1, const std::uint64_t* b2,
                                                       std::size_t n) {
  // Products of 1 are 1 * 1 and 2 * 2, products of 2 are 1 * 2 and 2 * 1.
  unsigned ones = 0, twos = 0;
  for (std::size_t i = 0; i < n; ++i) {
    ones += static_cast<unsigned>(__builtin_popcountll((a1[i] & b1[i]) | (a2[i] & b2[i])));
    twos += static_cast<unsigned>(__builtin_popcountll((a1[i] & b2[i]) | (a2[i] & b1[i])));
  }
  return (ones + 2 * twos) % 3;
}

}  // namespace

GF3MQ_KERNEL_AT_EVERY_WIDTH(void, packed_add,
                            (std::uint64_t * d1, std::uint64_t* d2, const std::uint64_t* s1, const std::uint64_t* s2,
                             std::size_t n),
                            (d1, d2, s1, s2, n))
GF3MQ_KERNEL_AT_EVERY_WIDTH(unsigned, packed_dot,
                            (const std::uint64_t* a1, const std::uint64_t* a2, const std::uint64_t* b1,
                             const std::uint64_t* b2, std::size_t n),
                            (a1, a2, b1, b2, n))

namespace {

// Eight bits spread to the low bits of eight bytes.
struct ByteSpread {
  std::uint64_t of[256];
  constexpr ByteSpread() : of() {
    for (unsigned b = 0; b < 256; ++b)
      for (unsigned i = 0; i < 8; ++i) of[b] |= std::uint64_t{(b >> i) & 1u} << (8 * i);
  }
};
constexpr ByteSpread kSpread;

}  // namespace

void unpack_elements(const std::uint64_t* ones, const std::uint64_t* twos, std::size_t count, std::uint8_t* out) {
  std::size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const unsigned shift = static_cast<unsigned>(i % 64);
    const std::uint64_t v = kSpread.of[(ones[i / 64] >> shift) & 0xFF] + 2 * kSpread.of[(twos[i / 64] >> shift) & 0xFF];
    std::memcpy(out + i, &v, 8);
  }
  for (; i < count; ++i)
    out[i] = static_cast<std::uint8_t>(((ones[i / 64] >> (i % 64)) & 1u) + 2 * ((twos[i / 64] >> (i % 64)) & 1u));
}

void packed_add_multiple(std::uint64_t* d1, std::uint64_t* d2, const std::uint64_t* s1, const std::uint64_t* s2,
                         unsigned k, std::size_t n) {
  if (k == 1) packed_add(d1, d2, s1, s2, n);
  if (k == 2) packed_add(d1, d2, s2, s1, n);  // - (s1, s2) = (s2, s1)
}

}  // namespace gf3mq
