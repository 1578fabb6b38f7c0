// gf3mq-bench: timings of the costly operations. Self-contained: it makes its
// own tables and key set in a temporary folder and removes it at the end.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "bench/workspace.h"
#include "field/field_elem.h"
#include "field/field_reducer.h"
#include "field/field_tables.h"
#include "scheme/decrypt.h"
#include "scheme/encrypt.h"
#include "scheme/encrypt_batch.h"
#include "scheme/key_files.h"
#include "scheme/keygen.h"

namespace {

using gf3mq::kDefaultSizes;
using gf3mq::bench::Workspace;
using gf3mq::bench::workspace;

Mat_ZZ_p reduction_table() {
  Mat_ZZ_p table = gf3mq::make_reduction_table();
  workspace();
  if (!gf3mq::load_reduction_table(table)) std::abort();
  return table;
}

FieldElem random_element(std::mt19937& rng) {
  FieldElem e;
  for (auto& c : e.coef) c = static_cast<std::uint8_t>(rng() % 3);
  return e;
}

void BM_inverse(benchmark::State& state) {
  std::mt19937 rng(1);
  Mat_ZZ_p m(kDefaultSizes.n, kDefaultSizes.n);
  do {
    for (int i = 0; i < kDefaultSizes.n * kDefaultSizes.n; ++i) m.data()[i] = static_cast<std::uint8_t>(rng() % 3);
  } while (nonsingular(m) == 0);
  for (auto _ : state) benchmark::DoNotOptimize(inverse(m));
}
BENCHMARK(BM_inverse)->Unit(benchmark::kMillisecond);

void BM_field_mul(benchmark::State& state) {
  const Mat_ZZ_p table = reduction_table();
  std::mt19937 rng(2);
  const FieldElem a = random_element(rng), b = random_element(rng);
  FieldElem out;
  for (auto _ : state) {
    field_mul(a, b, table, out);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_field_mul)->Unit(benchmark::kMicrosecond);

// The same product reduced with the table's rows one by one, the way
// field_mul reduces where row 0 is not sparse (a dense f).
void BM_field_mul_rows(benchmark::State& state) {
  const Mat_ZZ_p table = reduction_table();
  const gf3mq::RowReducer rows(table);
  std::mt19937 rng(2);
  const FieldElem a = random_element(rng), b = random_element(rng);
  FieldElem out;
  for (auto _ : state) {
    rows.product(a.coef, b.coef, out.coef);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_field_mul_rows)->Unit(benchmark::kMicrosecond);

void BM_central_map_inverse(benchmark::State& state) {
  const Mat_ZZ_p table = reduction_table();
  std::mt19937 rng(3);
  const FieldElem y = random_element(rng);
  Mat_ZZ_p powers(kDefaultSizes.n, kDefaultSizes.n);
  FieldElem out;
  for (auto _ : state) {
    FieldElem scratch = y;
    frobenius_powers(scratch, table, powers);
    central_map_inverse(powers, table, out);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_central_map_inverse)->Unit(benchmark::kMillisecond);

void BM_decrypt_vec(benchmark::State& state) {
  workspace();
  Mat_ZZ_p A_Inv(kDefaultSizes.n, kDefaultSizes.n), B_Inv(kDefaultSizes.n, kDefaultSizes.n);
  Vec_ZZ_p V1(kDefaultSizes.n), V2(kDefaultSizes.n), c(kDefaultSizes.n);
  const Mat_ZZ_p table = reduction_table();
  if (!A_Inv.load(gf3mq::kInvAFile) || !B_Inv.load(gf3mq::kInvBFile) || !V1.load(gf3mq::kV1File) ||
      !V2.load(gf3mq::kV2File))
    std::abort();
  const gf3mq::ByteList sk(workspace().sk.get(), workspace().sk.get() + kDefaultSizes.n);
  for (auto _ : state) {
    std::vector<Vec_ZZ_p> out;
    decrypt_vec(c, sk, A_Inv, V1, B_Inv, V2, table, out);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_decrypt_vec)->Unit(benchmark::kMillisecond);

void BM_decrypt(benchmark::State& state) {
  Workspace& w = workspace();
  unsigned char c[257] = {}, m[514];
  std::uint64_t mlen = 0;
  for (auto _ : state) {
    if (decrypt(w.sk.get(), c, 257, m, &mlen) != 0) std::abort();
    benchmark::DoNotOptimize(m);
  }
}
BENCHMARK(BM_decrypt)->Unit(benchmark::kMillisecond);

void BM_encrypt(benchmark::State& state) {
  Workspace& w = workspace();
  unsigned char m[257], c[257];
  for (int i = 0; i < 257; ++i) m[i] = static_cast<unsigned char>(1 + i % 2);
  std::uint64_t clen = 0;
  for (auto _ : state) {
    encrypt(w.pk.get(), m, 257, c, &clen);
    benchmark::DoNotOptimize(c);
  }
}
BENCHMARK(BM_encrypt)->Unit(benchmark::kMillisecond);

// One pass of batch encryption: 64 plaintexts with the prepared key.
void BM_encrypt_batch(benchmark::State& state) {
  Workspace& w = workspace();
  static const gf3mq::PreparedPublicKey key(gf3mq::kDefaultSizes, w.pk.get());
  std::vector<unsigned char> m(gf3mq::kBatch * 257), c(m.size());
  for (std::size_t i = 0; i < m.size(); ++i) m[i] = static_cast<unsigned char>(i * 7 % 3);
  for (auto _ : state) {
    key.encrypt(m.data(), gf3mq::kBatch, c.data());
    benchmark::DoNotOptimize(c.data());
  }
}
BENCHMARK(BM_encrypt_batch)->Unit(benchmark::kMillisecond);

void BM_prepare_public_key(benchmark::State& state) {
  Workspace& w = workspace();
  for (auto _ : state) {
    gf3mq::PreparedPublicKey key(gf3mq::kDefaultSizes, w.pk.get());
    benchmark::DoNotOptimize(&key);
  }
}
BENCHMARK(BM_prepare_public_key)->Unit(benchmark::kMillisecond);

void BM_read_pk(benchmark::State& state) {
  Workspace& w = workspace();
  for (auto _ : state) {
    if (read_pk(gf3mq::kPublicKeyFile, w.pk.get()) != 1) std::abort();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_read_pk)->Unit(benchmark::kMillisecond);

void BM_keygen(benchmark::State& state) {
  Workspace& w = workspace();
  gf3mq::SeededGf3Source source(7);
  for (auto _ : state) {
    if (keygen(w.pk.get(), w.sk.get(), source) != 0) std::abort();
  }
}
// Wall time: the forms are made on every core.
BENCHMARK(BM_keygen)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
