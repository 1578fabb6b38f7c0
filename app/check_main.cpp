// gf3mq-check: checks the key set and the tables of a folder as a whole.
#include <sys/random.h>

#include <iostream>

#include "app/program.h"
#include "learn/key_set_check.h"
#include "scheme/key_set.h"

namespace {

constexpr const char* kName = "gf3mq-check";

constexpr const char* kUsage =
    "Usage: gf3mq-check [-C DIR]\n"
    "\n"
    "Checks the key set and the tables of the current folder as a whole and\n"
    "prints one line per check, then a verdict: every file present, complete\n"
    "and digits only; the tables consistent and f irreducible; the secret\n"
    "files closed to group and others; mat_A times \"new Inv_A.txt\" and mat_B\n"
    "times \"new Inv_B.txt\" the identity; the stored public forms zero on and\n"
    "above the diagonal; \"new pk.txt\" plus \"new sk.txt\" equal to\n"
    "mat_A F(mat_B x + V2) + V1 at 32 random plaintexts. A failing line names\n"
    "every file its check involves.\n"
    "\n"
    "  -C DIR     work in the folder DIR\n"
    "  --help     show this text\n"
    "  --version  show the version\n"
    "\n"
    "Exit status: 0 when every check holds; 1 when one fails or the folder\n"
    "cannot be read; 2 for a usage error.\n";

constexpr int kPoints = 32;

const char* label(gf3mq::CheckResult::Outcome outcome) {
  constexpr const char* kLabels[] = {"ok    ", "FAIL  ", "skip  "};  // held, failed, skipped
  return kLabels[static_cast<int>(outcome)];
}

}  // namespace

int main(int argc, char** argv) {
  namespace program = gf3mq::program;
  program::CommandLine command_line(kName, kUsage);
  if (!command_line.parse(argc, argv, 0)) return command_line.exit_status();

  gf3mq::FileProblem problem;
  gf3mq::FolderLock lock(program::lock_wait(kName));
  if (!gf3mq::lock_key_set_for_reading(lock, &problem)) return program::fail(kName, problem.message());
  std::uint64_t seed = 0;
  if (getrandom(&seed, sizeof seed, 0) != static_cast<ssize_t>(sizeof seed)) seed = 1;
  const std::vector<gf3mq::CheckResult> results = gf3mq::check_key_set(kPoints, seed);
  lock.release();
  int failed = 0;
  for (const gf3mq::CheckResult& result : results) {
    std::cout << label(result.outcome) << result.text << '\n';
    failed += result.outcome != gf3mq::CheckResult::Outcome::held;
  }
  if (failed == 0) {
    std::cout << "verdict: the key set and its tables are whole and belong together\n";
  } else {
    std::cout << "verdict: " << failed << " of " << results.size()
              << " checks did not hold: do not use this key set as it is\n";
  }
  return program::finish_output(kName) && failed == 0 ? 0 : 1;
}
