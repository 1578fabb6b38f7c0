// FFLAS-FFPACK's reduced row echelon form on the attack's system, beside
// BM_attack_rref and FLINT's row, over Givaro's Modular<double> mod 3 (the
// field FFLAS reduces to BLAS products). Built only when FFLAS-FFPACK is
// installed; like FLINT, a benchmark-only dependency.
#include <benchmark/benchmark.h>
#include <fflas-ffpack/ffpack/ffpack.h>
#include <givaro/modular.h>

#include <algorithm>
#include <cstdlib>

#include "bench/attack_system.h"

namespace {

using Field = Givaro::Modular<double>;

void BM_fflas_attack_rref(benchmark::State& state) {
  const gf3mq::PackedMatrix& system = gf3mq::bench::attack_system(static_cast<int>(state.range(0)));
  const std::size_t rows = system.rows(), cols = system.cols();
  const Field field(3);
  Field::Element_ptr m = FFLAS::fflas_new(field, rows, cols), work = FFLAS::fflas_new(field, rows, cols);
  for (std::size_t r = 0; r < rows; ++r)
    for (std::size_t c = 0; c < cols; ++c) m[r * cols + c] = system.get(r, c);
  std::size_t* p = FFLAS::fflas_new<std::size_t>(rows);
  std::size_t* q = FFLAS::fflas_new<std::size_t>(cols);
  std::size_t rank = 0;
  for (auto _ : state) {
    std::copy_n(m, rows * cols, work);
    // Without the transformation: the echelon form alone (its pivot columns
    // given by q), as nmod_mat_rref gives it.
    rank = FFPACK::ReducedRowEchelonForm(field, rows, cols, work, cols, p, q, false);
  }
  state.counters["rank"] = static_cast<double>(rank);
  FFLAS::fflas_delete(m);
  FFLAS::fflas_delete(work);
  FFLAS::fflas_delete(p);
  FFLAS::fflas_delete(q);
}
BENCHMARK(BM_fflas_attack_rref)->Arg(127)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_fflas_attack_rref)->Arg(257)->Iterations(1)->Unit(benchmark::kMillisecond);
// The equations of 509 take minutes: only when asked for (make bench BENCH_509=1).
const bool at_509 = std::getenv("GF3MQ_BENCH_509") != nullptr &&
                    benchmark::RegisterBenchmark("BM_fflas_attack_rref", BM_fflas_attack_rref)
                            ->Arg(509)
                            ->Iterations(1)
                            ->Unit(benchmark::kMillisecond) != nullptr;

}  // namespace
