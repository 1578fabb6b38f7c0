// The matching FLINT operations, timed beside gf3mq's own for comparison.
// Built only when FLINT is installed; FLINT is a benchmark-only dependency.
#include <benchmark/benchmark.h>
#include <flint/fmpz.h>
#include <flint/fq_nmod.h>
#include <flint/nmod_mat.h>
#include <flint/nmod_poly.h>

#include <random>

#include "bench/attack_system.h"

namespace {

constexpr long kN = 257;

void fill_random(nmod_mat_t m, std::mt19937& rng) {
  for (long r = 0; r < nmod_mat_nrows(m); ++r)
    for (long c = 0; c < nmod_mat_ncols(m); ++c) nmod_mat_entry(m, r, c) = rng() % 3;
}

// GF(3^257) with the default modulus x^257 + 2 x^22 + 1.
struct Field {
  fq_nmod_ctx_t ctx;
  Field() {
    nmod_poly_t f;
    nmod_poly_init(f, 3);
    nmod_poly_set_coeff_ui(f, 257, 1);
    nmod_poly_set_coeff_ui(f, 22, 2);
    nmod_poly_set_coeff_ui(f, 0, 1);
    fq_nmod_ctx_init_modulus(ctx, f, "x");
    nmod_poly_clear(f);
  }
  ~Field() { fq_nmod_ctx_clear(ctx); }
  void random(fq_nmod_t a, std::mt19937& rng) {
    nmod_poly_t p;
    nmod_poly_init(p, 3);
    for (long i = 0; i < kN; ++i) nmod_poly_set_coeff_ui(p, i, rng() % 3);
    fq_nmod_set_nmod_poly(a, p, ctx);
    nmod_poly_clear(p);
  }
};

void BM_flint_mat_mul_514(benchmark::State& state) {
  std::mt19937 rng(1);
  nmod_mat_t a, b, c;
  nmod_mat_init(a, kN, kN, 3);
  nmod_mat_init(b, kN, kN, 3);
  nmod_mat_init(c, kN, kN, 3);
  fill_random(a, rng);
  fill_random(b, rng);
  for (auto _ : state)
    for (int k = 0; k < 514; ++k) nmod_mat_mul(c, a, b);
  nmod_mat_clear(a);
  nmod_mat_clear(b);
  nmod_mat_clear(c);
}
BENCHMARK(BM_flint_mat_mul_514)->Unit(benchmark::kMillisecond);

void BM_flint_inverse(benchmark::State& state) {
  std::mt19937 rng(1);
  nmod_mat_t a, inv;
  nmod_mat_init(a, kN, kN, 3);
  nmod_mat_init(inv, kN, kN, 3);
  do fill_random(a, rng);
  while (nmod_mat_det(a) == 0);
  for (auto _ : state) benchmark::DoNotOptimize(nmod_mat_inv(inv, a));
  nmod_mat_clear(a);
  nmod_mat_clear(inv);
}
BENCHMARK(BM_flint_inverse)->Unit(benchmark::kMillisecond);

void BM_flint_field_mul(benchmark::State& state) {
  Field field;
  std::mt19937 rng(2);
  fq_nmod_t a, b, c;
  fq_nmod_init(a, field.ctx);
  fq_nmod_init(b, field.ctx);
  fq_nmod_init(c, field.ctx);
  field.random(a, rng);
  field.random(b, rng);
  for (auto _ : state) fq_nmod_mul(c, a, b, field.ctx);
  fq_nmod_clear(a, field.ctx);
  fq_nmod_clear(b, field.ctx);
  fq_nmod_clear(c, field.ctx);
}
BENCHMARK(BM_flint_field_mul)->Unit(benchmark::kMicrosecond);

// Y^d with d = sum of 3^t over the decryption exponent's digit positions.
void BM_flint_pow(benchmark::State& state) {
  Field field;
  std::mt19937 rng(3);
  fmpz_t d, term, three;
  fmpz_init(d);
  fmpz_init(term);
  fmpz_init_set_ui(three, 3);
  for (long t = 2; t <= 255; ++t) {
    if (t % 4 != 2 && t % 4 != 3) continue;
    fmpz_pow_ui(term, three, static_cast<unsigned long>(t));
    fmpz_add(d, d, term);
  }
  fmpz_pow_ui(term, three, 256);
  fmpz_add(d, d, term);
  fq_nmod_t y, out;
  fq_nmod_init(y, field.ctx);
  fq_nmod_init(out, field.ctx);
  field.random(y, rng);
  for (auto _ : state) fq_nmod_pow(out, y, d, field.ctx);
  fq_nmod_clear(y, field.ctx);
  fq_nmod_clear(out, field.ctx);
  fmpz_clear(d);
  fmpz_clear(term);
  fmpz_clear(three);
}
BENCHMARK(BM_flint_pow)->Unit(benchmark::kMillisecond);

// The elimination beside BM_packed_rref: square 2048 and 4096 and the
// attack's 6451 x 6168 (about 8 s and 520 MB, so timed once).
void BM_flint_rref(benchmark::State& state) {
  std::mt19937 rng(1);
  nmod_mat_t m, work;
  nmod_mat_init(m, state.range(0), state.range(1), 3);
  nmod_mat_init(work, state.range(0), state.range(1), 3);
  fill_random(m, rng);
  for (auto _ : state) {
    nmod_mat_set(work, m);
    benchmark::DoNotOptimize(nmod_mat_rref(work));
  }
  nmod_mat_clear(m);
  nmod_mat_clear(work);
}
BENCHMARK(BM_flint_rref)->Args({2048, 2048})->Args({4096, 4096})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_flint_rref)->Args({6451, 6168})->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

// nmod_mat_rref on the attack's system at n, beside BM_attack_rref (at 257
// about as long as the 6451 x 6168 row above, so timed once).
void BM_flint_attack_rref(benchmark::State& state) {
  const gf3mq::PackedMatrix& system = gf3mq::bench::attack_system(static_cast<int>(state.range(0)));
  const auto rows = static_cast<long>(system.rows()), cols = static_cast<long>(system.cols());
  nmod_mat_t m, work;
  nmod_mat_init(m, rows, cols, 3);
  nmod_mat_init(work, rows, cols, 3);
  for (long r = 0; r < rows; ++r)
    for (long c = 0; c < cols; ++c)
      nmod_mat_entry(m, r, c) = system.get(static_cast<std::size_t>(r), static_cast<std::size_t>(c));
  long rank = 0;
  for (auto _ : state) {
    nmod_mat_set(work, m);
    rank = nmod_mat_rref(work);
  }
  state.counters["rank"] = static_cast<double>(rank);
  nmod_mat_clear(m);
  nmod_mat_clear(work);
}
BENCHMARK(BM_flint_attack_rref)->Arg(127)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_flint_attack_rref)->Arg(257)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
