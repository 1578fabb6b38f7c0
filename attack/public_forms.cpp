#include "attack/public_forms.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "linalg/packed_rows.h"
#include "runtime/worker_threads.h"

namespace gf3mq {

namespace {

// The 8 x 8 bits of x transposed: bit 8 i + j goes to bit 8 j + i.
std::uint64_t transposed_8x8(std::uint64_t x) {
  std::uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
  x ^= t ^ (t << 7);
  t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
  x ^= t ^ (t << 14);
  t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
  return x ^ t ^ (t << 28);
}

// Bit i = the low bit of byte i of w, for eight bytes of 0 or 1.
std::uint64_t low_bits(std::uint64_t w) { return ((w & 0x0101010101010101ull) * 0x0102040810204080ull) >> 56; }

}  // namespace

PublicForms::PublicForms(const std::uint8_t* stored, std::size_t n) : PublicForms(n) {
  const std::size_t size = n * (n + 1) * (n + 1);
  if (std::all_of(stored, stored + size, [](std::uint8_t e) { return e <= 2; })) {
    add_forms(0, stored, n);
    return;
  }
  std::vector<std::uint8_t> reduced(stored, stored + size);
  for (std::uint8_t& e : reduced) e %= 3;
  add_forms(0, reduced.data(), n);
}

PublicForms::PublicForms(std::size_t n) : n_(n), q_(n * (n - 1) / 2, n), l_(n, n) {}

void PublicForms::add_forms(std::size_t first, const std::uint8_t* stored, std::size_t count) {
  const std::size_t n = n_, side = n + 1, form_size = side * side;
  // Form j is element j of every vector: 64 forms at a time make one word
  // of each plane, entry (r, k) of each form a bit of it. Eight entries of
  // eight forms are an 8 x 8 square of bits of each plane, turned over so
  // that each entry's eight bits are one byte of its word. Rows r of the
  // forms (r = n: the linear parts) on every core.
  for (std::size_t done = 0; done < count; done += 64) {
    const std::size_t forms = std::min<std::size_t>(64, count - done), word = (first + done) / 64;
    const std::uint8_t* block = stored + done * form_size;
    const auto plane_words = [&](std::size_t r, std::size_t k) {
      return r < n ? std::pair{q_.ones(pair_index(k, r)), q_.twos(pair_index(k, r))}
                   : std::pair{l_.ones(k), l_.twos(k)};
    };
    for_each_item(n + 1, 0, [&](std::size_t r) {
      const std::size_t entries = r < n ? r : n;
      std::size_t k0 = 0;
      for (; k0 + 8 <= entries; k0 += 8) {
        std::uint64_t ones[8] = {}, twos[8] = {};
        for (std::size_t b0 = 0; b0 < forms; b0 += 8) {
          std::uint64_t square1 = 0, square2 = 0;
          for (std::size_t j = 0; j < 8 && b0 + j < forms; ++j) {
            std::uint64_t w;
            std::memcpy(&w, block + (b0 + j) * form_size + r * side + k0, sizeof w);
            square1 |= low_bits(w) << (8 * j);
            square2 |= low_bits(w >> 1) << (8 * j);
          }
          square1 = transposed_8x8(square1);
          square2 = transposed_8x8(square2);
          for (std::size_t i = 0; i < 8; ++i) {
            ones[i] |= (square1 >> (8 * i) & 0xFF) << b0;
            twos[i] |= (square2 >> (8 * i) & 0xFF) << b0;
          }
        }
        for (std::size_t i = 0; i < 8; ++i) {
          const auto [ones_plane, twos_plane] = plane_words(r, k0 + i);
          ones_plane[word] = ones[i];
          twos_plane[word] = twos[i];
        }
      }
      for (; k0 < entries; ++k0) {
        std::uint64_t one_bits = 0, two_bits = 0;
        const std::uint8_t* entry = block + r * side + k0;
        for (std::size_t b = 0; b < forms; ++b, entry += form_size) {
          one_bits |= std::uint64_t{*entry == 1} << b;
          two_bits |= std::uint64_t{*entry == 2} << b;
        }
        const auto [ones_plane, twos_plane] = plane_words(r, k0);
        ones_plane[word] = one_bits;
        twos_plane[word] = two_bits;
      }
    });
  }
}

std::size_t PublicForms::pair_index(std::size_t u, std::size_t v) const {
  const std::size_t low = std::min(u, v), high = std::max(u, v);
  return high * (high - 1) / 2 + low;  // pairs (0,1), (0,2), (1,2), (0,3), ...
}

std::vector<std::uint8_t> PublicForms::encrypt(const std::uint8_t* x) const {
  PackedMatrix c(1, n_);
  for (std::size_t v = 1; v < n_; ++v) {
    if (x[v] % 3 == 0) continue;
    for (std::size_t u = 0; u < v; ++u)
      packed_add_multiple(c.ones(0), c.twos(0), q_ones(u, v), q_twos(u, v), x[u] % 3 * (x[v] % 3) % 3, words());
  }
  for (std::size_t k = 0; k < n_; ++k)
    packed_add_multiple(c.ones(0), c.twos(0), l_ones(k), l_twos(k), x[k] % 3, words());
  std::vector<std::uint8_t> out(n_);
  for (std::size_t j = 0; j < n_; ++j) out[j] = c.get(0, j);
  return out;
}

}  // namespace gf3mq
