#include "attack/recover.h"

#include <algorithm>
#include <vector>

#include "linalg/packed_rows.h"

namespace gf3mq {

bool recover_plaintext(const Relations& r, const PublicForms& forms, const std::uint8_t* c, std::uint8_t* x) {
  const std::size_t n = r.n;
  PackedMatrix cp(1, n), equations(r.count(), n);
  for (std::size_t j = 0; j < n; ++j) cp.set(0, j, c[j]);
  std::vector<std::uint8_t> minus_constant(r.count());
  for (std::size_t k = 0; k < r.count(); ++k) {
    for (std::size_t u = 0; u < n; ++u)
      equations.set(k, u, packed_dot(r.a[k].ones(u), r.a[k].twos(u), cp.ones(0), cp.twos(0), cp.words()) +
                              r.b.get(k, u));
    const unsigned constant = packed_dot(r.g.ones(k), r.g.twos(k), cp.ones(0), cp.twos(0), cp.words()) + r.d[k];
    minus_constant[k] = static_cast<std::uint8_t>((3 - constant % 3) % 3);
  }
  std::vector<std::uint8_t> particular;
  PackedMatrix line;
  if (!solve(equations, minus_constant, particular, &line) || line.rows() > 8) return false;
  // Every point particular + sum of c_i line_i; normally three of them.
  std::size_t points = 1;
  for (std::size_t i = 0; i < line.rows(); ++i) points *= 3;
  std::vector<std::uint8_t> candidate(n);
  for (std::size_t p = 0; p < points; ++p) {
    for (std::size_t u = 0; u < n; ++u) {
      unsigned v = particular[u];
      for (std::size_t i = 0, digits = p; i < line.rows(); ++i, digits /= 3) v += digits % 3 * line.get(i, u);
      candidate[u] = static_cast<std::uint8_t>(v % 3);
    }
    if (!std::all_of(candidate.begin(), candidate.end(), [](std::uint8_t e) { return e != 0; })) continue;
    const std::vector<std::uint8_t> again = forms.encrypt(candidate.data());
    if (std::equal(again.begin(), again.end(), c)) {
      std::copy(candidate.begin(), candidate.end(), x);
      return true;
    }
  }
  return false;
}

bool search_plaintext(const PublicForms& forms, const std::uint8_t* c, std::uint8_t* x) {
  const std::size_t n = forms.n();
  if (n > kLargestSearch) return false;
  std::vector<std::uint8_t> candidate(n);
  for (std::uint64_t bits = 0; bits < (std::uint64_t{1} << n); ++bits) {
    for (std::size_t u = 0; u < n; ++u) candidate[u] = static_cast<std::uint8_t>(1 + ((bits >> u) & 1u));
    const std::vector<std::uint8_t> again = forms.encrypt(candidate.data());
    if (std::equal(again.begin(), again.end(), c)) {
      std::copy(candidate.begin(), candidate.end(), x);
      return true;
    }
  }
  return false;
}

}  // namespace gf3mq
