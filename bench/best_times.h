// gf3mq-bench's display reporter: the format Google Benchmark's own flag
// asks for (--benchmark_format=console, json or csv, or the environment's
// BENCHMARK_FORMAT), written by the library's reporter of that format,
// while the best time per iteration of every row is kept for the targets.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace gf3mq::bench {

enum class Format { console, json, csv };

// The format the command line asks for (its last --benchmark_format=, else
// BENCHMARK_FORMAT, else console). False, with problem set, for a format
// the library does not have.
bool requested_format(int argc, char** argv, Format& format, std::string& problem);

class BestTimes : public benchmark::BenchmarkReporter {
 public:
  explicit BestTimes(Format format);

  bool ReportContext(const Context& context) override;
  void ReportRuns(const std::vector<Run>& runs) override;
  void Finalize() override;

  Format format() const { return format_; }
  // Seconds per iteration (wall) of the best repetition of each row, by
  // its name with arguments ("BM_encrypt_at/509").
  const std::map<std::string, double>& best() const { return best_; }
  // The "bytes" counter of the rows that set one (bounds.cpp).
  const std::map<std::string, double>& bytes() const { return bytes_; }

 private:
  Format format_;
  std::unique_ptr<benchmark::BenchmarkReporter> shown_;
  std::map<std::string, double> best_;
  std::map<std::string, double> bytes_;
};

}  // namespace gf3mq::bench
