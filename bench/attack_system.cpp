#include "bench/attack_system.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>

#include "attack/public_forms.h"
#include "attack/relations.h"
#include "bench/sized_workspace.h"
#include "linalg/packed_rows.h"

namespace gf3mq::bench {

namespace {

PackedMatrix random_matrix(std::size_t rows, std::size_t cols, std::mt19937_64& rng) {
  PackedMatrix m(rows, cols);
  for (std::size_t r = 0; r < rows; ++r)
    for (std::size_t c = 0; c < cols; ++c) m.set(r, c, static_cast<unsigned>(rng() % 3));
  return m;
}

PackedMatrix with_kernel(std::size_t rows, std::size_t cols, std::size_t kernel) {
  std::mt19937_64 rng(3);
  const std::size_t free = cols - kernel;
  const PackedMatrix f = random_matrix(rows, free, rng), r = random_matrix(kernel, free, rng);
  PackedMatrix m(rows, cols);
  for (std::size_t row = 0; row < rows; ++row) {
    for (std::size_t c = 0; c < free; ++c) m.set(row, c, f.get(row, c));
    for (std::size_t i = 0; i < kernel; ++i)
      m.set(row, free + i, 3 - packed_dot(f.ones(row), f.twos(row), r.ones(i), r.twos(i), f.words()) % 3);
  }
  return m;
}

}  // namespace

const PackedMatrix& attack_system(int n) {
  static std::map<int, PackedMatrix> made;
  auto it = made.find(n);
  if (it != made.end()) return it->second;
  const PublicForms forms(workspace_at(n).pk.get(), static_cast<std::size_t>(n));
  Relations relations;
  RelationsReport report;
  if (!relations_from_public_forms(forms, relations, {}, &report)) {
    std::fprintf(stderr, "gf3mq-bench: no relations at n = %d: %s\n", n, report.failure.c_str());
    std::abort();
  }
  return made[n] = with_kernel(report.equations, report.unknowns, static_cast<std::size_t>(n));
}

}  // namespace gf3mq::bench
