// The walk-through at n = 7 (doc/walkthrough.md), the README's tour and the
// examples of doc/programs.md, run as written: every ```console block between a text's markers holds
// "$ command" lines, each followed by its output. A text's commands run in
// order in one scratch folder (each in a shell of its own, so none may
// change the folder), with this
// build's programs first on PATH and a UTF-8 locale; every output line must
// come back as written, except the plaintext and ciphertext lists of
// gf3mq-demo, which follow from the clock. A "gp" step is passed over where
// PARI/GP is not installed.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

struct Step {
  std::string command;
  std::vector<std::string> output;
};

std::vector<Step> walkthrough_steps(const std::string& readme, const std::string& marker) {
  std::vector<Step> steps;
  const std::size_t begin = readme.find("<!-- " + marker + " -->"), end = readme.find("<!-- " + marker + " end -->");
  if (begin == std::string::npos || end == std::string::npos) return steps;
  std::istringstream in(readme.substr(begin, end - begin));
  bool in_block = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("```", 0) == 0) {
      in_block = !in_block && line == "```console";
      continue;
    }
    if (!in_block) continue;
    if (line.rfind("$ ", 0) == 0) {
      steps.push_back({line.substr(2), {}});
    } else if (!steps.empty()) {
      steps.back().output.push_back(line);
    }
  }
  return steps;
}

bool follows_from_the_clock(const Step& step, const std::string& line) {
  return step.command.rfind("gf3mq-demo", 0) == 0 && line.rfind("[", 0) == 0;
}

void expect_every_command_gives_its_output(const std::string& file, const std::string& marker) {
  const std::vector<Step> steps = walkthrough_steps(read_file(std::string(GF3MQ_SOURCE_DIR) + "/" + file), marker);
  ASSERT_GE(steps.size(), 6u) << file << " has no " << marker << " between its markers";
  ScratchDir dir;
  const bool gp = run_command("command -v gp").status == 0;
  for (const Step& step : steps) {
    if (step.command.rfind("gp ", 0) == 0 && !gp) continue;
    // Each step runs in a shell of its own: a "cd" would not last into the
    // next one as it does where a reader types the steps into one shell.
    EXPECT_EQ(step.command.find("cd "), std::string::npos) << "$ " << step.command;
    const CommandResult run =
        run_command("export PATH='" + std::string(GF3MQ_BIN_DIR) +
                    "':\"$PATH\" LC_ALL=C.UTF-8 GF3MQ_LOCK_WAIT=30 && (" + step.command + ") </dev/null 2>&1");
    const std::vector<std::string> got = lines_of(run.out);
    EXPECT_EQ(got.size(), step.output.size()) << "$ " << step.command << "\n" << run.out;
    for (std::size_t i = 0; i < std::min(got.size(), step.output.size()); ++i) {
      if (follows_from_the_clock(step, step.output[i])) continue;
      EXPECT_EQ(got[i], step.output[i]) << "$ " << step.command << ", line " << i + 1;
    }
  }
}

TEST(WalkthroughTest, EveryCommandOfTheReadmeGivesTheOutputWrittenThere) {
  expect_every_command_gives_its_output("doc/walkthrough.md", "walk-through");
  expect_every_command_gives_its_output("README.md", "tour");
  expect_every_command_gives_its_output("doc/programs.md", "programs");
}

}  // namespace
