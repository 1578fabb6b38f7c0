#include "attack/public_forms.h"

#include <algorithm>

#include "linalg/packed_rows.h"

namespace gf3mq {

PublicForms::PublicForms(const std::uint8_t* stored, std::size_t n) : n_(n), q_(n * (n - 1) / 2, n), l_(n, n) {
  const std::size_t side = n + 1, form_size = side * side;
  // Form j is element j of every vector: 64 forms at a time make one word
  // of each plane, entry (r, k) of each form a bit of it.
  for (std::size_t first = 0; first < n; first += 64) {
    const std::size_t count = std::min<std::size_t>(64, n - first), word = first / 64;
    auto gather = [&](std::size_t position, std::uint64_t* ones, std::uint64_t* twos) {
      std::uint64_t one_bits = 0, two_bits = 0;
      const std::uint8_t* entry = stored + first * form_size + position;
      for (std::size_t b = 0; b < count; ++b, entry += form_size) {
        const unsigned e = *entry % 3u;
        one_bits |= std::uint64_t{e == 1} << b;
        two_bits |= std::uint64_t{e == 2} << b;
      }
      ones[word] = one_bits;
      twos[word] = two_bits;
    };
    for (std::size_t r = 1; r < n; ++r)
      for (std::size_t k = 0; k < r; ++k) {
        const std::size_t pair = pair_index(k, r);
        gather(r * side + k, q_.ones(pair), q_.twos(pair));
      }
    for (std::size_t k = 0; k < n; ++k) gather(n * side + k, l_.ones(k), l_.twos(k));
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
