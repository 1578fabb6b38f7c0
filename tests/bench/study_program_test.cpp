// gf3mq-study end to end at the two smallest sizes of its default list, in
// a scratch folder: the CSV's columns and rows, the exhaustive search at 7
// and the attack's phases at 15, the table, the plot files (when gnuplot is
// installed), and refused options.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

const std::string kHeader =
    "n,keygen_s,encrypt_s,encrypt64_s,decrypt_s,attack_equations_s,attack_elimination_s,attack_relations_s,"
    "attack_recovery_s,attack_by_search,peak_memory_mb,attack_s,exhaustive_search_s";

// The cells of a CSV line, an empty last one included.
std::vector<std::string> cells_of(const std::string& line) {
  std::vector<std::string> cells;
  std::istringstream in(line);
  for (std::string cell; std::getline(in, cell, ',');) cells.push_back(cell);
  if (!line.empty() && line.back() == ',') cells.emplace_back();
  return cells;
}

// A positive number, as the CSV writes seconds and megabytes.
bool positive(const std::string& cell) {
  char* end = nullptr;
  const double value = std::strtod(cell.c_str(), &end);
  return !cell.empty() && *end == '\0' && std::isfinite(value) && value > 0;
}

class StudyProgramTest : public testing::Test {
 protected:
  void SetUp() override {
#ifndef GF3MQ_HAVE_BENCH
    GTEST_SKIP() << "gf3mq-study is not built (GF3MQ_BUILD_BENCH=OFF)";
#endif
  }
  static bool have_gnuplot() { return run_command("command -v gnuplot").status == 0; }
  ScratchDir dir;
};

TEST_F(StudyProgramTest, SevenAndFifteenEndToEnd) {
  const std::string plot = have_gnuplot() ? "" : " --no-plot";
  const CommandResult run =
      run_command(program("gf3mq-study") + " --sizes 7,15 --max-seconds 2 --output out" + plot + " </dev/null");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "") << "no progress line off a terminal";
  const std::vector<std::string> lines = lines_of(read_file("out/study.csv"));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], kHeader);
  const std::size_t columns = cells_of(kHeader).size();
  for (int row : {1, 2}) {
    const std::vector<std::string> cells = cells_of(lines[row]);
    ASSERT_EQ(cells.size(), columns) << lines[row];
    EXPECT_EQ(cells[0], row == 1 ? "7" : "15");
    for (int c : {1, 2, 3, 4, 8, 10, 11, 12}) EXPECT_TRUE(positive(cells[c])) << kHeader << "\n" << lines[row];
    // Exhaustive search at 7, no relations phases; the three phases at 15.
    EXPECT_EQ(cells[9], row == 1 ? "1" : "0") << lines[row];
    for (int c : {5, 6, 7}) EXPECT_EQ(positive(cells[c]), row == 2) << kHeader << "\n" << lines[row];
  }
  // The table: a header, its rule and a row per size.
  EXPECT_EQ(lines_of(run.out).size(), 4u) << run.out;
  EXPECT_NE(run.out.find("| 7 |"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("(search)"), std::string::npos) << run.out;
  EXPECT_TRUE(file_exists("out/study.gp"));
  if (!plot.empty()) GTEST_SKIP() << "gnuplot is not installed (gnuplot-nox): no plot to check";
  EXPECT_EQ(read_file("out/study.svg").rfind("<?xml", 0), 0u);
  EXPECT_EQ(read_file("out/study.png").substr(1, 3), "PNG");
  // Two sizes: too few for a fitted exponent.
  const std::string svg = read_file("out/study.svg");
  EXPECT_NE(svg.find("key generation"), std::string::npos);
  EXPECT_EQ(read_file("out/study.gp").find("key generation  n^{"), std::string::npos);
  EXPECT_NE(svg.find("exhaustive search: 2"), std::string::npos);
}

// gf3mq-study with PATH holding only the folder `path`.
std::string study_with_path(const std::string& path) {
  std::string command = program("gf3mq-study");
  return command.replace(command.find("env "), 4, "env PATH='" + path + "' ");
}

TEST_F(StudyProgramTest, WithoutGnuplotOrWhenItFailsTheCsvIsWrittenAndTheStatusIsOne) {
  ASSERT_EQ(run_command("mkdir tools").status, 0);
  CommandResult run = run_command(study_with_path(dir.path() + "/tools") + " --sizes 7 --output out </dev/null");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("gnuplot is not installed (apt-get install gnuplot-nox)"), std::string::npos) << run.err;
  EXPECT_EQ(lines_of(read_file("out/study.csv")).size(), 2u);
  EXPECT_NE(run.out.find("| 7 |"), std::string::npos) << "the table all the same: " << run.out;

  write_file("tools/gnuplot", "#!/bin/sh\nexit 3\n");
  ASSERT_EQ(run_command("chmod +x tools/gnuplot").status, 0);
  run = run_command(study_with_path(dir.path() + "/tools") + " --sizes 7 --output out </dev/null");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("gnuplot failed on out/study.gp"), std::string::npos) << run.err;
  run = run_command(study_with_path(dir.path() + "/tools") + " --sizes 7 --output out --no-plot </dev/null");
  EXPECT_EQ(run.status, 0) << run.err;
}

TEST_F(StudyProgramTest, ItsFilesArePutInPlaceNeverReachedThroughWhatOthersPlant) {
  // In a folder others may write, a loop renames a script of theirs over study.gp while the study runs.
  ASSERT_EQ(run_command("mkdir -m 0777 out").status, 0);
  write_file("evil.gp", "system 'touch " + dir.path() + "/ran'\n");
  const std::string study = "timeout 120 " + program("gf3mq-study") + " --sizes 7 --max-seconds 0.5 --output out" +
                            (have_gnuplot() ? "" : " --no-plot") + " </dev/null";
  CommandResult run = run_command("(while :; do cp evil.gp t.gp; mv t.gp out/study.gp; done) & " + study +
                                  "; status=$?; kill $!; wait $!; exit $status");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(file_exists("ran")) << "the planted script ran";
  EXPECT_NE(run.err.find("may write the folder \"" + dir.path() + "/out\" (mode 0777)"), std::string::npos) << run.err;
  // A link to a private file, then a FIFO, at study.csv: refused by name, at once; the file is untouched.
  write_file("private", "mine\n");
  for (const std::string plant : {"ln -s ../private", "mkfifo"}) {
    run = run_command("rm out/study.csv; " + plant + " out/study.csv; " + study);
    EXPECT_EQ(run.status, 1) << plant << "\n" << run.err;
    EXPECT_NE(run.err.find("\"out/study.csv\" is a"), std::string::npos) << run.err;
    EXPECT_EQ(read_file("private"), "mine\n");
  }
}

TEST_F(StudyProgramTest, EndedByASignalItRemovesTheMeasuringFolderFirst) {
  // Terminated once the folder of n = 257 is there (its key takes seconds).
  ASSERT_EQ(run_command("mkdir scratch").status, 0);
  const CommandResult run =
      run_command("GF3MQ_BENCH_DIR='" + dir.path() + "/scratch' " + program("gf3mq-study") +
                  " --sizes 257 --output out </dev/null & pid=$!; tries=0;"
                  " while [ -z \"$(ls scratch)\" ] && [ $tries -lt 400 ]; do sleep 0.05; tries=$((tries + 1)); done;"
                  " ls scratch; kill -TERM $pid; wait $pid; echo status $?");
  EXPECT_EQ(run.out.rfind("gf3mq-study-", 0), 0u) << "the folder while it measured: " << run.out;
  EXPECT_NE(run.out.find("status 143"), std::string::npos) << "ended by the signal: " << run.out;
  EXPECT_EQ(list_dir("scratch"), std::vector<std::string>{});
  EXPECT_FALSE(file_exists("out"));
}

TEST_F(StudyProgramTest, BadOptionsAreRefusedBeforeAnyWork) {
  for (const std::string& bad :
       {std::string("--sizes 7,8"), std::string("--sizes 3"), std::string("--sizes 7,"), std::string("--sizes 1023"),
        std::string("--max-seconds 0"), std::string("--max-seconds x"), std::string("--frobnicate")}) {
    const CommandResult run = run_command(program("gf3mq-study") + " " + bad + " --output out </dev/null");
    EXPECT_EQ(run.status, 2) << bad;
    EXPECT_NE(run.err, "") << bad;
    EXPECT_FALSE(file_exists("out")) << bad;
  }
}

}  // namespace
