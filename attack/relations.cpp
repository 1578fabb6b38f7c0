// Relations from pairs, and checking relations at random points.
#include "attack/relations.h"

#include <random>

#include "attack/recover.h"
#include "linalg/packed_echelon.h"

namespace gf3mq {

namespace {

std::vector<std::uint8_t> random_plaintext(std::mt19937_64& rng, std::size_t n) {
  std::vector<std::uint8_t> x(n);
  for (auto& e : x) e = static_cast<std::uint8_t>(1 + rng() % 2);
  return x;
}

}  // namespace

bool relations_hold(const Relations& r, const PublicForms& forms, int points, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  for (int point = 0; point < points; ++point) {
    const std::vector<std::uint8_t> x = random_plaintext(rng, r.n), c = forms.encrypt(x.data());
    const RelationsAtCiphertext system = relations_at(r, c.data());  // R(x, c) = m x + constant
    for (std::size_t k = 0; k < r.count(); ++k) {
      unsigned value = system.constant[k];
      for (std::size_t u = 0; u < r.n; ++u) value += x[u] * system.m.get(k, u);
      if (value % 3 != 0) return false;
    }
  }
  return true;
}

bool relations_from_pairs(const PublicForms& forms, std::uint64_t seed, Relations& out, const PhaseProgress& progress,
                          RelationsReport* report) {
  const std::size_t n = forms.n(), side = n + 1, unknowns = side * side;
  // Unknown (u, j) at u * (n + 1) + j, with x_n = c_n = 1: a at u, j < n, b
  // at (u, n), g at (n, j), d at (n, n).
  PackedMatrix equations(unknowns + 16, unknowns);
  std::mt19937_64 rng(seed);
  if (progress) progress("encrypting plaintexts", 0);
  for (std::size_t t = 0; t < equations.rows(); ++t) {
    std::vector<std::uint8_t> x = random_plaintext(rng, n), c = forms.encrypt(x.data());
    x.push_back(1);
    c.push_back(1);
    for (std::size_t u = 0; u < side; ++u)
      for (std::size_t j = 0; j < side; ++j) equations.set(t, u * side + j, x[u] * c[j]);
    if (progress && t % 256 == 0) progress("encrypting plaintexts", static_cast<double>(t) / equations.rows());
  }
  if (progress) progress("encrypting plaintexts", 1);
  report_progress(progress, kEliminationPhase, 0);
  const PackedMatrix kernel = kernel_basis(equations, progress);
  if (report != nullptr) *report = RelationsReport{{}, equations.rows(), unknowns, 0};
  if (kernel.rows() != n) {
    if (report != nullptr)
      report->failure =
          "the relations from pairs span " + std::to_string(kernel.rows()) + " dimensions, not " + std::to_string(n);
    return false;
  }
  out = Relations{n, std::vector<PackedMatrix>(n, PackedMatrix(n, n)), PackedMatrix(n, n), PackedMatrix(n, n),
                  std::vector<std::uint8_t>(n)};
  for (std::size_t k = 0; k < n; ++k) {
    for (std::size_t u = 0; u < n; ++u) {
      for (std::size_t j = 0; j < n; ++j) out.a[k].set(u, j, kernel.get(k, u * side + j));
      out.b.set(k, u, kernel.get(k, u * side + n));
      out.g.set(k, u, kernel.get(k, n * side + u));
    }
    out.d[k] = kernel.get(k, n * side + n);
  }
  return true;
}

}  // namespace gf3mq
