// The attack's linear algebra and its phases: packed elimination at 2048,
// 4096 and the size of the attack's system, and on the attack's own
// equations at 127 and 257 (attack_system.h; FLINT's
// and FFLAS-FFPACK's rows are in flint_bench.cpp and fflas_bench.cpp), the
// relations of a full-size public key and the recovery of one plaintext
// with them.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "attack/public_forms.h"
#include "attack/recover.h"
#include "attack/relations.h"
#include "bench/attack_system.h"
#include "bench/workspace.h"
#include "linalg/packed_matrix.h"
#include "scheme/encrypt.h"
#include "scheme/key_files.h"

namespace {

gf3mq::PackedMatrix random_packed(std::size_t rows, std::size_t cols) {
  std::mt19937_64 rng(1);
  gf3mq::PackedMatrix m(rows, cols);
  for (std::size_t r = 0; r < rows; ++r)
    for (std::size_t c = 0; c < cols; ++c) m.set(r, c, static_cast<unsigned>(rng() % 3));
  return m;
}

// Rows x columns: square 2048 and 4096, and the attack's 6451 x 6168.
void BM_packed_rref(benchmark::State& state) {
  const auto rows = static_cast<std::size_t>(state.range(0)), cols = static_cast<std::size_t>(state.range(1));
  const gf3mq::PackedMatrix m = random_packed(rows, cols);
  for (auto _ : state) {
    gf3mq::PackedMatrix e = m;
    benchmark::DoNotOptimize(gf3mq::reduce_to_echelon(e));
  }
}
BENCHMARK(BM_packed_rref)->Args({2048, 2048})->Args({4096, 4096})->Args({6451, 6168})->Unit(benchmark::kMillisecond);

// Reduced row echelon form of the attack's system at n (the attack's
// kernel_basis is this and the kernel read off it).
void BM_attack_rref(benchmark::State& state) {
  const gf3mq::PackedMatrix& m = gf3mq::bench::attack_system(static_cast<int>(state.range(0)));
  std::size_t rank = 0;
  for (auto _ : state) {
    gf3mq::PackedMatrix e = m;
    rank = gf3mq::reduce_to_echelon(e).size();
  }
  state.counters["rank"] = static_cast<double>(rank);  // the same in every library's row
}
BENCHMARK(BM_attack_rref)->Arg(127)->Arg(257)->Unit(benchmark::kMillisecond);

const gf3mq::PublicForms& public_forms() {
  static const gf3mq::PublicForms forms(gf3mq::bench::workspace().pk.get(), 257);
  return forms;
}

void BM_attack_relations(benchmark::State& state) {
  gf3mq::Relations relations;
  for (auto _ : state)
    if (!gf3mq::relations_from_public_forms(public_forms(), relations)) std::abort();
}
BENCHMARK(BM_attack_relations)->Unit(benchmark::kMillisecond);

void BM_attack_recover(benchmark::State& state) {
  gf3mq::Relations relations;
  if (!gf3mq::relations_from_public_forms(public_forms(), relations)) std::abort();
  unsigned char x[257], c[257], found[257];
  for (int i = 0; i < 257; ++i) x[i] = static_cast<unsigned char>(1 + (i * 7 + i / 3) % 2);
  std::uint64_t clen = 0;
  encrypt(gf3mq::bench::workspace().pk.get(), x, 257, c, &clen);
  for (auto _ : state)
    if (!gf3mq::recover_plaintext(relations, public_forms(), c, found)) std::abort();
}
BENCHMARK(BM_attack_recover)->Unit(benchmark::kMillisecond);

}  // namespace
