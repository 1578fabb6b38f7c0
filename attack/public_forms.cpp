#include "attack/public_forms.h"

#include <algorithm>

#include "linalg/packed_rows.h"
#include "runtime/worker_threads.h"

namespace gf3mq {

PublicForms::PublicForms(const std::uint8_t* stored, std::size_t n) : PublicForms(n) { add_forms(0, stored, n); }

PublicForms::PublicForms(std::size_t n) : n_(n), q_(n * (n - 1) / 2, n), l_(n, n) {}

void PublicForms::add_forms(std::size_t first, const std::uint8_t* stored, std::size_t count) {
  const std::size_t n = n_, side = n + 1, form_size = side * side;
  // Form j is element j of every vector: 64 forms at a time make one word
  // of each plane, entry (r, k) of each form a bit of it; rows r of the
  // forms on every core.
  for (std::size_t done = 0; done < count; done += 64) {
    const std::size_t forms = std::min<std::size_t>(64, count - done), word = (first + done) / 64;
    const std::uint8_t* block = stored + done * form_size;
    auto gather = [&](std::size_t position, std::uint64_t* ones, std::uint64_t* twos) {
      std::uint64_t one_bits = 0, two_bits = 0;
      const std::uint8_t* entry = block + position;
      for (std::size_t b = 0; b < forms; ++b, entry += form_size) {
        const unsigned e = *entry % 3u;
        one_bits |= std::uint64_t{e == 1} << b;
        two_bits |= std::uint64_t{e == 2} << b;
      }
      ones[word] = one_bits;
      twos[word] = two_bits;
    };
    for_each_item(n, 0, [&](std::size_t r) {
      for (std::size_t k = 0; k < r; ++k) {
        const std::size_t pair = pair_index(k, r);
        gather(r * side + k, q_.ones(pair), q_.twos(pair));
      }
    });
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
