// Progress of the long steps on a terminal: key generation and the search
// for a table's f show their phases and times on standard error when it is
// a terminal (here a pseudo-terminal from script(1)), and write nothing
// extra when it is not.
#include <gtest/gtest.h>

#include <string>

#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

bool have_script() { return run_command("command -v script").status == 0; }

// Runs command with its standard streams on a pseudo-terminal; out holds
// all that it wrote there.
CommandResult on_terminal(const std::string& command) {
  return run_command("script -qec \"" + command + "\" /dev/null </dev/null");
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Whether some line "<line> NN%" of text shows a share from 1 to 99 percent.
bool has_share_between(const std::string& text, const std::string& line) {
  for (auto at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) {
    const std::size_t start = text.find_first_not_of(' ', at + line.size());
    const std::size_t end = text.find_first_not_of("0123456789", start);
    if (end == std::string::npos || end == start || text[end] != '%') continue;
    const int percent = std::stoi(text.substr(start, end - start));
    if (percent >= 1 && percent <= 99) return true;
  }
  return false;
}

TEST(ProgressTest, OffATerminalNothingExtraIsWritten) {
  ScratchDir dir;
  const CommandResult run =
      run_command(program("gf3mq-tables") + " --degree 127 && " + program("gf3mq-keygen") + " --no-wait </dev/null");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
}

TEST(ProgressTest, KeyGenerationShowsItsPhasesAndAPercentageOnATerminal) {
  if (!have_script()) GTEST_SKIP() << "script (util-linux) is not installed";
  ScratchDir dir;
  ASSERT_EQ(run_command(program("gf3mq-tables") + " --degree 509").status, 0);
  // The public key of 509 takes a second or so to compose.
  const CommandResult run = on_terminal(program("gf3mq-keygen") + " --no-wait");
  ASSERT_EQ(run.status, 0) << run.out;
  for (const char* phase :
       {"reading the tables", "drawing the secret maps", "composing the public key", "putting the key set in place"})
    EXPECT_TRUE(has(run.out, std::string("gf3mq-keygen: ") + phase + " ")) << phase << " in:\n" << run.out;
  EXPECT_TRUE(has(run.out, "\rgf3mq-keygen: composing the public key ")) << run.out;
  // The share of public forms made, between the first and the last.
  EXPECT_TRUE(has_share_between(run.out, "\rgf3mq-keygen: composing the public key ")) << run.out;
}

TEST(ProgressTest, TheTablesToolShowsItsPhasesOnATerminal) {
  if (!have_script()) GTEST_SKIP() << "script (util-linux) is not installed";
  ScratchDir dir;
  const CommandResult run = on_terminal(program("gf3mq-tables") + " --degree 1021");
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(has(run.out, "gf3mq-tables: searching for an irreducible f ")) << run.out;
  EXPECT_TRUE(has(run.out, "gf3mq-tables: writing the tables ")) << run.out;
}

}  // namespace
