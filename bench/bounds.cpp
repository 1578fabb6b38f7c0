// The machine's memory bandwidth, and the phases of the attack at 257 and
// 509 each with the bytes it must move at the least: what it reads once and
// writes once. targets.cpp sets each phase's best time beside that many
// bytes over the bandwidth measured here (a phase bound by memory traffic
// comes close to it; one bound by arithmetic or by passes over a large
// matrix stays far above it).
//
// Rows: BM_memory_copy (a copy on both cores of a buffer far larger than the
// caches; "bytes" counts each byte read and each written), and
// BM_attack_read_pk/n, BM_attack_equations/n, BM_attack_elimination/n,
// BM_attack_completion/n (attack_bench.cpp), each with a "bytes" counter.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "attack/public_forms.h"
#include "attack/relations_file.h"
#include "bench/sized_workspace.h"
#include "files/file_problem.h"
#include "scheme/key_files.h"

namespace {

void BM_memory_copy(benchmark::State& state) {
  constexpr std::size_t kBytes = std::size_t{1} << 29;  // 512 MiB, far beyond any cache here
  const std::size_t half = kBytes / 2;
  std::vector<std::uint8_t> from(kBytes, 1), to(kBytes, 0);
  for (auto _ : state) {
    std::thread other([&] { std::memcpy(to.data() + half, from.data() + half, kBytes - half); });
    std::memcpy(to.data(), from.data(), half);
    other.join();
    benchmark::ClobberMemory();
  }
  state.counters["bytes"] = 2.0 * static_cast<double>(kBytes);
}
BENCHMARK(BM_memory_copy)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// The attack's first phase as gf3mq-attack reads it: the digits of
// "new pk.txt" read and checked 64 forms at a time, each block packed into
// the public forms and added to the key's digest, never held whole.
void BM_attack_read_pk(benchmark::State& state) {
  gf3mq::bench::SizedWorkspace& w = gf3mq::bench::workspace_at(static_cast<int>(state.range(0)));
  const gf3mq::bench::SizedWorkspace::Here here(w.dir);
  const std::size_t form_digits = w.sizes.form_digits();
  std::size_t packed = 0;
  for (auto _ : state) {
    gf3mq::PublicForms forms(w.sizes.elements());
    std::uint64_t digest = gf3mq::kPublicKeyDigestStart;
    const auto take = [&](std::size_t first, const std::uint8_t* elements, std::size_t length) {
      forms.add_forms(first / form_digits, elements, length / form_digits);
      digest = gf3mq::public_key_digest(elements, length, digest);
    };
    gf3mq::FileProblem problem;
    if (!gf3mq::read_key_file_in_blocks(w.sizes, gf3mq::kPublicKeyFile, w.sizes.public_key_digits(), 64 * form_digits,
                                        take, &problem, gf3mq::kPublicKeyFile))
      std::abort();
    benchmark::DoNotOptimize(digest);
    packed = forms.n() * (forms.n() + 1) / 2 * 2 * forms.words() * 8;
  }
  // The file's digits and line breaks read, the packed forms written.
  const double file = static_cast<double>(std::filesystem::file_size(w.dir + "/" + gf3mq::kPublicKeyFile));
  state.counters["bytes"] = file + static_cast<double>(packed);
}
BENCHMARK(BM_attack_read_pk)->Arg(257)->Arg(509)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
