#include "bench/best_times.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace gf3mq::bench {

namespace {

constexpr const char* kFlag = "--benchmark_format=";

bool format_named(const std::string& name, Format& format) {
  if (name == "console")
    format = Format::console;
  else if (name == "json")
    format = Format::json;
  else if (name == "csv")
    format = Format::csv;
  else
    return false;
  return true;
}

std::unique_ptr<benchmark::BenchmarkReporter> reporter_of(Format format) {
  switch (format) {
    case Format::json:
      return std::make_unique<benchmark::JSONReporter>();
    case Format::csv:
      // Deprecated upstream, yet what the library's own main gives for csv.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
      return std::make_unique<benchmark::CSVReporter>();
#pragma GCC diagnostic pop
    case Format::console:
      break;
  }
  // Colours on a terminal only, as the library's own main does by default.
  using Console = benchmark::ConsoleReporter;
  return std::make_unique<Console>(isatty(STDOUT_FILENO) ? Console::OO_ColorTabular : Console::OO_Tabular);
}

}  // namespace

bool requested_format(int argc, char** argv, Format& format, std::string& problem) {
  std::string name = "console";
  if (const char* env = std::getenv("BENCHMARK_FORMAT"); env != nullptr && *env != '\0') name = env;
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], kFlag, std::strlen(kFlag)) == 0) name = argv[i] + std::strlen(kFlag);
  if (format_named(name, format)) return true;
  problem = "unknown benchmark format \"" + name + "\": it is console, json or csv";
  return false;
}

BestTimes::BestTimes(Format format) : format_(format), shown_(reporter_of(format)) {}

bool BestTimes::ReportContext(const Context& context) {
  // The library gives this reporter its streams before the first report.
  shown_->SetOutputStream(&GetOutputStream());
  shown_->SetErrorStream(&GetErrorStream());
  return shown_->ReportContext(context);
}

void BestTimes::ReportRuns(const std::vector<Run>& runs) {
  for (const Run& run : runs) {
    if (run.run_type != Run::RT_Iteration || run.iterations == 0 || run.error_occurred) continue;
    const double seconds = run.real_accumulated_time / static_cast<double>(run.iterations);
    // BM_encrypt_at/509: rows of one function at several sizes apart.
    const std::string name = run.run_name.function_name + (run.run_name.args.empty() ? "" : "/" + run.run_name.args);
    auto [it, added] = best_.emplace(name, seconds);
    if (!added && seconds < it->second) it->second = seconds;
    if (const auto bytes = run.counters.find("bytes"); bytes != run.counters.end()) bytes_[name] = bytes->second;
  }
  shown_->ReportRuns(runs);
}

void BestTimes::Finalize() { shown_->Finalize(); }

}  // namespace gf3mq::bench
