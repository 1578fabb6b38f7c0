// The costly operations at other sizes, beside the default 257: key
// generation, a batch of 64, a field product and Y^d at n = 127, 257 and 509
// (and 1021 for the field), one encryption and one decryption with the
// secret maps loaded from 7 to 1021 (a key of 1021 holds 1.07 GB).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "bench/sized_workspace.h"
#include "field/field.h"
#include "field/field_polynomial.h"
#include "field/field_tables.h"
#include "scheme/decrypt.h"
#include "scheme/encrypt.h"
#include "scheme/encrypt_batch.h"
#include "scheme/gf3_source.h"
#include "scheme/keygen.h"

namespace {

using gf3mq::bench::SizedWorkspace;
using gf3mq::bench::workspace_at;

std::vector<unsigned char> plaintexts(std::size_t n, std::size_t count) {
  std::vector<unsigned char> m(n * count);
  for (std::size_t i = 0; i < m.size(); ++i) m[i] = static_cast<unsigned char>(1 + i * 7 % 2);
  return m;
}

// The sizes of the table in doc/speed.md (its key generation is timed as a whole
// program, by bench/sizes_table).
void at_table_sizes(benchmark::internal::Benchmark* b) {
  for (int n : {7, 31, 127, 257, 509, 1021}) b->Arg(n);
}

void BM_keygen_at(benchmark::State& state) {
  SizedWorkspace& w = workspace_at(static_cast<int>(state.range(0)));
  const SizedWorkspace::Here here(w.dir);
  gf3mq::SeededGf3Source source(7);
  for (auto _ : state)
    if (gf3mq::generate_key_set(w.sizes, w.pk.get(), w.sk.data(), source) != 0) std::abort();
}
BENCHMARK(BM_keygen_at)->Arg(127)->Arg(257)->Arg(509)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_encrypt_at(benchmark::State& state) {
  SizedWorkspace& w = workspace_at(static_cast<int>(state.range(0)));
  const std::vector<unsigned char> m = plaintexts(w.sizes.elements(), 1);
  std::vector<unsigned char> c(w.sizes.elements());
  for (auto _ : state) {
    gf3mq::encrypt_at(w.sizes, w.pk.get(), m.data(), c.data());
    benchmark::DoNotOptimize(c.data());
  }
}
BENCHMARK(BM_encrypt_at)->Apply(at_table_sizes)->Unit(benchmark::kMillisecond);

void BM_encrypt_batch_at(benchmark::State& state) {
  SizedWorkspace& w = workspace_at(static_cast<int>(state.range(0)));
  const gf3mq::PreparedPublicKey key(w.sizes, w.pk.get());
  const std::vector<unsigned char> m = plaintexts(w.sizes.elements(), gf3mq::kBatch);
  std::vector<unsigned char> c(m.size());
  for (auto _ : state) {
    key.encrypt(m.data(), gf3mq::kBatch, c.data());
    benchmark::DoNotOptimize(c.data());
  }
}
BENCHMARK(BM_encrypt_batch_at)->Arg(127)->Arg(257)->Arg(509)->Unit(benchmark::kMillisecond);

// One decryption with the secret maps already loaded, as decrypt_vec.
void BM_decrypt_at(benchmark::State& state) {
  SizedWorkspace& w = workspace_at(static_cast<int>(state.range(0)));
  gf3mq::SecretMaps maps(w.sizes);
  {
    const SizedWorkspace::Here here(w.dir);
    if (!maps.load(nullptr)) std::abort();
  }
  std::vector<unsigned char> c(w.sizes.elements()), m(w.sizes.decrypted_bytes());
  gf3mq::encrypt_at(w.sizes, w.pk.get(), plaintexts(w.sizes.elements(), 1).data(), c.data());
  for (auto _ : state) {
    maps.decrypt(w.sk.data(), c.data(), m.data());
    benchmark::DoNotOptimize(m.data());
  }
}
BENCHMARK(BM_decrypt_at)->Apply(at_table_sizes)->Unit(benchmark::kMillisecond);

void BM_field_product_at(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const gf3mq::Field field(gf3mq::build_reduction_table(gf3mq::default_polynomial(n)));
  std::mt19937 rng(2);
  gf3mq::Element a = field.zero(), b = field.zero(), out = field.zero();
  for (auto& e : a) e = static_cast<std::uint8_t>(rng() % 3);
  for (auto& e : b) e = static_cast<std::uint8_t>(rng() % 3);
  for (auto _ : state) {
    field.product(a.data(), b.data(), out.data());
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_field_product_at)->Arg(127)->Arg(257)->Arg(509)->Arg(1021)->Unit(benchmark::kMicrosecond);

void BM_central_root_at(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const gf3mq::Field field(gf3mq::build_reduction_table(gf3mq::default_polynomial(n)));
  std::mt19937 rng(3);
  gf3mq::Element y = field.zero();
  for (auto& e : y) e = static_cast<std::uint8_t>(rng() % 3);
  for (auto _ : state) benchmark::DoNotOptimize(field.central_map_root(y));
}
BENCHMARK(BM_central_root_at)->Arg(127)->Arg(257)->Arg(509)->Arg(1021)->Unit(benchmark::kMillisecond);

}  // namespace
