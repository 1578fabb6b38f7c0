// gf3mq-bench's main: the rows in the format --benchmark_format asks for
// (the console table by default), then each timing set against the one it
// is measured by (a FLINT row, or one plaintext for the batch), as a ratio
// with its target: after the table, or on standard error beside JSON and
// CSV. Timings are noisy on shared machines, so every ratio uses the best
// repetition of each row (--benchmark_repetitions=N).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <iostream>
#include <map>
#include <string>

#include "bench/best_times.h"

namespace {

struct Target {
  const char* ours;
  const char* theirs;
  double at_most;  // ours / theirs
  const char* note;
};

constexpr Target kTargets[] = {
    {"BM_keygen", "BM_flint_mat_mul_514", 0.12, "key generation (folder on tmpfs) vs 514 products of 257 x 257"},
    {"BM_field_mul", "BM_flint_field_mul", 0.12, "field_mul vs fq_nmod_mul"},
    {"BM_inverse", "BM_flint_inverse", 0.15, "inverse vs nmod_mat_inv"},
    {"BM_central_map_inverse", "BM_flint_pow", 0.05, "frobenius_powers + central_map_inverse vs fq_nmod_pow by d"},
    {"BM_decrypt_vec", "BM_flint_pow", 0.03, "decrypt_vec vs fq_nmod_pow by d"},
    {"BM_encrypt_batch", "BM_encrypt", 8.0, "64 plaintexts in one batch vs one plaintext"},
};

// Rows with a time of their own to meet, in seconds.
struct TimeTarget {
  const char* ours;
  double at_most;
  const char* note;
};

constexpr TimeTarget kTimeTargets[] = {
    {"BM_keygen_at/509", 1.0, "key generation at 509 (the whole program: at most 1 s)"},
    {"BM_encrypt_at/509", 6e-3, "one encryption at 509"},
    {"BM_decrypt_at/509", 0.5e-3, "one decryption at 509, the secret maps loaded"},
};

// Each target against the best repetitions of its rows, on out.
void print_targets(const std::map<std::string, double>& best, std::FILE* out) {
  if (best.empty()) return;  // nothing ran (--benchmark_list_tests)
  std::fprintf(out, "\nTargets (best repetition of each row):\n");
  for (const Target& target : kTargets) {
    const auto ours = best.find(target.ours), theirs = best.find(target.theirs);
    if (ours == best.end() || theirs == best.end()) {
      std::fprintf(out, "  %-24s not measured in this run\n", target.ours);
      continue;
    }
    const double ratio = ours->second / theirs->second;
    std::fprintf(out, "  %-24s %7.3fx %-22s (target <= %gx: %s) %s\n", target.ours, ratio, target.theirs,
                 target.at_most, ratio <= target.at_most ? "met" : "NOT MET", target.note);
  }
  for (const TimeTarget& target : kTimeTargets) {
    const auto ours = best.find(target.ours);
    if (ours == best.end()) {
      std::fprintf(out, "  %-24s not measured in this run\n", target.ours);
      continue;
    }
    std::fprintf(out, "  %-24s %9.3f ms (target <= %g ms: %s) %s\n", target.ours, ours->second * 1e3,
                 target.at_most * 1e3, ours->second <= target.at_most ? "met" : "NOT MET", target.note);
  }
}

// Each phase of the attack beside the time its bytes take at the
// bandwidth of BM_memory_copy (bounds.cpp): the bound, and how far above it
// the phase runs.
void print_bounds(const std::map<std::string, double>& best, const std::map<std::string, double>& bytes,
                  std::FILE* out) {
  const auto copy = best.find("BM_memory_copy");
  if (copy == best.end() || bytes.count("BM_memory_copy") == 0) return;
  const double bandwidth = bytes.at("BM_memory_copy") / copy->second;  // bytes per second
  std::fprintf(out, "\nBounds (memory bandwidth %.1f GB/s, both cores; bound = bytes moved / bandwidth):\n",
               bandwidth / 1e9);
  std::fprintf(out, "  %-26s %10s %12s %10s %8s\n", "phase", "time ms", "bytes moved", "bound ms", "ratio");
  for (const char* phase :
       {"BM_attack_read_pk", "BM_attack_equations", "BM_attack_elimination", "BM_attack_completion"})
    for (const char* n : {"/257", "/509"}) {
      const std::string row = std::string(phase) + n;
      const auto time = best.find(row), moved = bytes.find(row);
      if (time == best.end() || moved == bytes.end()) continue;
      const double bound = moved->second / bandwidth;
      std::fprintf(out, "  %-26s %10.2f %12.3g %10.2f %7.1fx\n", row.c_str(), time->second * 1e3, moved->second,
                   bound * 1e3, time->second / bound);
    }
}

}  // namespace

int main(int argc, char** argv) {
  gf3mq::bench::Format format = gf3mq::bench::Format::console;
  std::string problem;
  if (!gf3mq::bench::requested_format(argc, argv, format, problem)) {
    std::fprintf(stderr, "gf3mq-bench: %s\n", problem.c_str());
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  gf3mq::bench::BestTimes reporter(format);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  // After the table in the console format; on standard error beside JSON
  // or CSV, so that standard output stays in the format asked for.
  std::cout.flush();
  std::FILE* out = format == gf3mq::bench::Format::console ? stdout : stderr;
  print_targets(reporter.best(), out);
  print_bounds(reporter.best(), reporter.bytes(), out);
  benchmark::Shutdown();
  return 0;
}
