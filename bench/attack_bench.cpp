// The attack's linear algebra and its phases: packed elimination at 2048,
// 4096 and the size of the attack's system, and on the attack's own
// equations at 127 and 257 (attack_system.h; FLINT's
// and FFLAS-FFPACK's rows are in flint_bench.cpp and fflas_bench.cpp), its
// phases at 127, 257 and 509 (each with the bytes it must move, for the
// bounds of bounds.cpp), the relations of a full-size public key and the
// recovery of one plaintext with them.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <random>

#include "attack/public_forms.h"
#include "attack/recover.h"
#include "attack/relations.h"
#include "attack/relations_plan.h"
#include "bench/attack_system.h"
#include "bench/sized_workspace.h"
#include "bench/workspace.h"
#include "linalg/packed_echelon.h"
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

// Reduced row echelon form of the attack's system at n, as its peers
// compute it (the attack itself, from 4096 rows on, takes a row echelon
// form and the reduced form's free columns by back substitution).
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
// Beside FFLAS-FFPACK's row at 509 (fflas_bench.cpp), when that is asked for.
const bool rref_at_509 =
    std::getenv("GF3MQ_BENCH_509") != nullptr &&
    benchmark::RegisterBenchmark("BM_attack_rref", BM_attack_rref)->Arg(509)->Unit(benchmark::kMillisecond) != nullptr;

// The attack's phases at n = 127 and 257, each on its own, for the seeded
// key of workspace_at(n): the equations of the set the attack settles on,
// the kernel of their rows the rank needs, and the relations completed from
// it (the elimination of every row, for the peers, is BM_attack_rref).
struct AttackPhases {
  explicit AttackPhases(int n) : forms(gf3mq::bench::workspace_at(n).pk.get(), static_cast<std::size_t>(n)) {
    gf3mq::Relations relations;
    gf3mq::RelationsReport report;
    if (!gf3mq::relations_from_public_forms(forms, relations, {}, &report) ||
        !gf3mq::make_plan(forms, report.set_size, plan))
      std::abort();
    head_rows = gf3mq::rows_the_rank_needs(forms.n(), plan.s);
    gf3mq::PackedMatrix head, rest;
    gf3mq::equations_in_parts(forms, plan, head_rows, head, rest, {});
    equations_head = head;
    equations_rest = rest;
    kernel = gf3mq::kernel_of_parts(head, rest, forms.n(), {}, 0);
  }
  gf3mq::PublicForms forms;
  gf3mq::Plan plan;
  std::size_t head_rows = 0;
  gf3mq::PackedMatrix equations_head, equations_rest, kernel;
};

double bytes_of(const gf3mq::PackedMatrix& m) { return static_cast<double>(m.rows() * 2 * m.words() * 8); }
double bytes_of(const gf3mq::PublicForms& forms) {  // q(u, v) for u < v, and L(k)
  return static_cast<double>((forms.n() * (forms.n() - 1) / 2 + forms.n()) * 2 * forms.words() * 8);
}

const AttackPhases& attack_phases(int n) {
  static std::map<int, std::unique_ptr<AttackPhases>> made;
  auto& phases = made[n];
  if (phases == nullptr) phases = std::make_unique<AttackPhases>(n);
  return *phases;
}

void BM_attack_equations(benchmark::State& state) {
  const AttackPhases& p = attack_phases(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    gf3mq::PackedMatrix head, rest;
    gf3mq::equations_in_parts(p.forms, p.plan, p.head_rows, head, rest, {});
    benchmark::DoNotOptimize(head.rows());
  }
  // For bounds.cpp: the forms read, the equations written.
  state.counters["bytes"] = bytes_of(p.forms) + bytes_of(p.equations_head) + bytes_of(p.equations_rest);
}
BENCHMARK(BM_attack_equations)->Arg(127)->Arg(257)->Arg(509)->Unit(benchmark::kMillisecond);

void BM_attack_elimination(benchmark::State& state) {
  const AttackPhases& p = attack_phases(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    gf3mq::PackedMatrix head = p.equations_head;
    benchmark::DoNotOptimize(gf3mq::kernel_of_parts(head, p.equations_rest, p.forms.n(), {}, 0).rows());
  }
  // The equations read and written once at the least, the kernel written.
  state.counters["bytes"] = 2 * bytes_of(p.equations_head) + 2 * bytes_of(p.equations_rest) + bytes_of(p.kernel);
}
BENCHMARK(BM_attack_elimination)->Arg(127)->Arg(257)->Arg(509)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_attack_completion(benchmark::State& state) {
  const AttackPhases& p = attack_phases(static_cast<int>(state.range(0)));
  const std::size_t n = p.forms.n();
  for (auto _ : state) {
    gf3mq::Relations out{n, std::vector<gf3mq::PackedMatrix>(n, gf3mq::PackedMatrix(n, n)), gf3mq::PackedMatrix(n, n),
                         gf3mq::PackedMatrix(n, n), std::vector<std::uint8_t>(n)};
    gf3mq::complete_relations(p.forms, p.plan, p.kernel, out);
    benchmark::DoNotOptimize(out.d.data());
  }
  // The kernel and the forms read, n + 2 packed n x n matrices written.
  const gf3mq::PackedMatrix square(n, n);
  state.counters["bytes"] = bytes_of(p.kernel) + bytes_of(p.forms) + static_cast<double>(n + 2) * bytes_of(square);
}
BENCHMARK(BM_attack_completion)->Arg(127)->Arg(257)->Arg(509)->Unit(benchmark::kMillisecond)->UseRealTime();

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
  unsigned char x[257], c[257];
  for (int i = 0; i < 257; ++i) x[i] = static_cast<unsigned char>(1 + (i * 7 + i / 3) % 2);
  std::uint64_t clen = 0;
  encrypt(gf3mq::bench::workspace().pk.get(), x, 257, c, &clen);
  gf3mq::PlaintextRecovery recovery(relations, public_forms());
  for (auto _ : state)
    if (recovery.recover(c).empty()) std::abort();
}
BENCHMARK(BM_attack_recover)->Unit(benchmark::kMillisecond);

}  // namespace
