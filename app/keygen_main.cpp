// gf3mq-keygen: makes a fresh key set in the working directory, replacing
// any previous one as a whole.
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "app/program.h"
#include "app/progress.h"
#include "field/field_tables.h"
#include "files/folder_lock.h"
#include "runtime/worker_threads.h"
#include "scheme/gf3_source.h"
#include "scheme/key_files.h"
#include "scheme/keygen.h"

namespace {

namespace program = gf3mq::program;

constexpr const char* kName = "gf3mq-keygen";

constexpr const char* kUsage =
    "Usage: gf3mq-keygen [-C DIR] [--seed TEXT] [--no-wait]\n"
    "\n"
    "Makes a new key set in the current folder from its two table files, and\n"
    "replaces the previous set as a whole: \"new Mat_A.txt\", \"new V1.txt\",\n"
    "\"new Mat_B.txt\", \"new V2.txt\", \"new Inv_A.txt\", \"new Inv_B.txt\" and\n"
    "\"new sk.txt\" (secret, mode 0600) and \"new pk.txt\" (public). Then it waits\n"
    "for a key press.\n"
    "\n"
    "  -C DIR       work in the folder DIR\n"
    "  --seed TEXT  draw the secret maps from a generator keyed by TEXT instead\n"
    "               of the operating system's: the same TEXT and tables give the\n"
    "               same key set again, for a class or an experiment. Such a key\n"
    "               is NOT secret: anyone who knows or guesses TEXT can make the\n"
    "               same secret key. gf3mq-check cannot tell a seeded set from a\n"
    "               random one.\n"
    "  --no-wait    end without waiting for a key press\n"
    "  --help       show this text\n"
    "  --version    show the version\n"
    "\n"
    "On a terminal, the phases, their times and how far the public key is go\n"
    "to standard error.\n"
    "\n"
    "Environment: GF3MQ_THREADS=N makes the public key on N threads (1 to 1024;\n"
    "unset: one per processor). The key set is the same for every N.\n"
    "\n"
    "Exit status: 0 when the new set is in place; 1 when no set was made (the\n"
    "message says which set is in place), when the new set is in place but may\n"
    "not be on disk or copies of the old one remain (the message names them), or\n"
    "the output could not be written; 2 for a usage error or a GF3MQ_THREADS that\n"
    "is not such a number, or an empty TEXT.\n";

// Said on standard error whenever --seed is given.
constexpr const char* kSeededNote =
    "note: this key set is drawn from --seed TEXT, so it is not secret: anyone who knows or guesses TEXT can "
    "make the same secret key; gf3mq-check cannot tell a seeded set from a random one";

// The operating system's generator, or the one keyed by --seed.
std::unique_ptr<gf3mq::Gf3Source> key_source(const program::CommandLine& command_line, const std::string& seed) {
  if (command_line.given("--seed")) return std::make_unique<gf3mq::KeyedGf3Source>(seed);
  return std::make_unique<gf3mq::SystemGf3Source>();
}

}  // namespace

int main(int argc, char** argv) {
  bool no_wait = false;
  std::string seed;
  program::CommandLine command_line(kName, kUsage);
  command_line.flag("--no-wait", no_wait);
  command_line.option_with_value("--seed", seed);
  if (!command_line.parse(argc, argv, 0)) return command_line.exit_status();
  if (command_line.given("--seed") && seed.empty())
    return program::fail(kName, "--seed needs a TEXT that is not empty; no key set was made", 2);
  if (const std::string wrong = gf3mq::worker_threads_problem(); !wrong.empty())
    return program::fail(kName, wrong + "; no key set was made", 2);
  program::warn_if_folder_open(kName);
  gf3mq::FileProblem problem;
  // One writer at a time, and no reader while the set is replaced.
  gf3mq::FolderLock lock(program::lock_wait(kName));
  if (!lock.acquire(gf3mq::FolderLock::Mode::exclusive, &problem))
    return program::fail(kName, problem.message() + "; no key set was made");
  // The size of the key set is that of the folder's tables.
  gf3mq::Sizes sizes;
  if (!program::sizes_of_tables(kName, sizes)) return 1;
  const std::unique_ptr<gf3mq::Gf3Source> source = key_source(command_line, seed);
  if (command_line.given("--seed")) program::fail(kName, kSeededNote);
  program::PhaseLog log(kName, program::PhaseLog::Times::on_terminal);
  if (gf3mq::generate_key_set(sizes, nullptr, nullptr, *source, &problem, log.reporter()) != 0) {
    log.abandon();
    return program::fail_with_key_set(kName, problem);
  }
  lock.release();
  std::cout << "hello world!";
  if (!program::finish_output(kName, "the new key set is in place")) return 1;
  if (!no_wait) std::getchar();
  return 0;
}
