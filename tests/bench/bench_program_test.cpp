// gf3mq-bench as scripts run it: Google Benchmark's --benchmark_format gives
// that format on standard output (JSON that parses, CSV with the library's
// header), and the targets' summary is added beside it, never in its place.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/json_value.h"
#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

// One quick row (a 257 x 257 inverse, no key set needed), two repetitions.
CommandResult bench_in(const std::string& format) {
#ifndef GF3MQ_HAVE_BENCH
  (void)format;
  return {};
#else
  return run_command(program("gf3mq-bench") + " --benchmark_filter='^BM_inverse$' --benchmark_min_time=0.01" +
                     " --benchmark_repetitions=2 --benchmark_format=" + format + " </dev/null");
#endif
}

class BenchProgramTest : public testing::Test {
 protected:
  void SetUp() override {
#ifndef GF3MQ_HAVE_BENCH
    GTEST_SKIP() << "the benchmarks are not built (GF3MQ_BUILD_BENCH=OFF)";
#endif
  }
};

TEST_F(BenchProgramTest, JsonOnStandardOutputAndTheTargetsOnStandardError) {
  const CommandResult run = bench_in("json");
  ASSERT_EQ(run.status, 0) << run.err;
  JsonValue json;
  std::string problem;
  ASSERT_TRUE(parse_json(run.out, json, problem)) << problem << "\n" << run.out.substr(0, 400);
  EXPECT_EQ(json["context"].kind, JsonValue::Kind::object);
  const JsonValue& rows = json["benchmarks"];
  ASSERT_EQ(rows.kind, JsonValue::Kind::array);
  // Two repetitions and their aggregates (mean, median, stddev, cv).
  ASSERT_GE(rows.array.size(), 2u);
  int repetitions = 0;
  for (const JsonValue& row : rows.array) {
    EXPECT_EQ(row["run_name"].string, "BM_inverse");
    if (row["run_type"].string != "iteration") continue;
    ++repetitions;
    EXPECT_GT(row["real_time"].number, 0);
    EXPECT_EQ(row["time_unit"].string, "ms");
  }
  EXPECT_EQ(repetitions, 2);
  EXPECT_NE(run.err.find("Targets (best repetition of each row):"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("BM_inverse"), std::string::npos) << run.err;
}

TEST_F(BenchProgramTest, CsvOnStandardOutputAndTheTargetsOnStandardError) {
  const CommandResult run = bench_in("csv");
  ASSERT_EQ(run.status, 0) << run.err;
  std::istringstream lines(run.out);
  std::string header, row;
  ASSERT_TRUE(std::getline(lines, header));
  EXPECT_EQ(header.rfind("name,iterations,real_time,cpu_time,time_unit", 0), 0u) << header;
  int repetitions = 0;
  while (std::getline(lines, row)) {
    EXPECT_EQ(row.rfind("\"BM_inverse", 0), 0u) << row;  // with _mean, _median, _stddev, _cv
    repetitions += row.rfind("\"BM_inverse\",", 0) == 0;
  }
  EXPECT_EQ(repetitions, 2) << run.out;
  EXPECT_EQ(run.out.find("Targets"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("Targets (best repetition of each row):"), std::string::npos) << run.err;
}

TEST_F(BenchProgramTest, ConsoleTableThenTheTargetsAndUnknownFormatsRefused) {
  CommandResult run = bench_in("console");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::size_t table = run.out.find("BM_inverse"), targets = run.out.find("Targets (best repetition");
  ASSERT_NE(table, std::string::npos) << run.out;
  ASSERT_NE(targets, std::string::npos) << run.out;
  EXPECT_LT(table, targets);
  EXPECT_EQ(run.err.find("Targets"), std::string::npos) << run.err;

  run = bench_in("xml");
  EXPECT_NE(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("unknown benchmark format \"xml\""), std::string::npos) << run.err;
}

}  // namespace
