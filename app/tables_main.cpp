// gf3mq-tables: writes or checks the two field-table files of GF(3^n) in
// the current directory.
#include <iostream>
#include <string>

#include "app/program.h"
#include "app/progress.h"
#include "field/field_tables.h"
#include "field/sizes.h"
#include "files/folder_lock.h"
#include "files/journal.h"

namespace {

constexpr const char* kName = "gf3mq-tables";

constexpr const char* kUsage =
    "Usage: gf3mq-tables [-C DIR] [--degree N | --poly 'POLYNOMIAL'] | --check\n"
    "\n"
    "Writes \"new Xe_mod_Irredfx.txt\" (row r = x^(n+r) mod f, 2n-2 rows of n) and\n"
    "\"new X_27i_mod_Irredfx.txt\" (row k = x^(27k) mod f, n x n) into the current\n"
    "folder, for a monic irreducible f of degree n over GF(3): n = 257 unless\n"
    "told otherwise, and every odd n from 5 to 1021 can be had.\n"
    "\n"
    "  -C DIR      work in the folder DIR\n"
    "  --degree N  the default f of degree N: x^257 + 2*x^22 + 1 for 257, the\n"
    "              first irreducible trinomial otherwise (or quadrinomial)\n"
    "  --poly P    use f = P, of any odd degree from 5 to 1021; terms c*x^k, x^k,\n"
    "              c*x, x or c with c in 0..2, joined by +\n"
    "  --check     verify the two files of the folder, at their n\n"
    "  --help     show this text\n"
    "  --version  show the version\n"
    "\n"
    "On a terminal, the share of candidate f tried and the time of each phase\n"
    "go to standard error.\n"
    "\n"
    "Existing table files are never overwritten: keys depend on them. When an\n"
    "interrupted run left only one of the two, a run with the same f writes the other.\n"
    "\n"
    "Exit status: 0 when the tables were written or are sound; 1 when f is\n"
    "refused, a table is missing or damaged, or the output could not be written;\n"
    "2 for a usage error.\n";

}  // namespace

int main(int argc, char** argv) {
  namespace program = gf3mq::program;
  std::string poly_text, degree_text;
  bool check = false;
  program::CommandLine command_line(kName, kUsage);
  command_line.option_with_value("--degree", degree_text);
  command_line.option_with_value("--poly", poly_text);
  command_line.flag("--check", check);
  command_line.exclusive("--poly", "--check");
  command_line.exclusive("--degree", "--check");
  command_line.exclusive("--degree", "--poly");
  if (!command_line.parse(argc, argv, 0)) return command_line.exit_status();
  int degree = gf3mq::kDefaultSizes.n;
  if (!degree_text.empty()) {
    const bool digits = degree_text.size() <= 4 && degree_text.find_first_not_of("0123456789") == std::string::npos;
    degree = digits ? std::stoi(degree_text) : 0;
    if (!gf3mq::degree_exists(degree))
      return program::fail(kName, "--degree " + degree_text + ": no such size; " + gf3mq::sizes_that_exist(), 2);
  }
  gf3mq::FileProblem problem;
  gf3mq::FolderLock lock(program::lock_wait(kName));
  gf3mq::Polynomial f;
  program::PhaseLog log(kName, program::PhaseLog::Times::on_terminal);
  if (check) {
    if (!lock.acquire(gf3mq::FolderLock::Mode::shared, &problem) || !gf3mq::check_tables(f, &problem))
      return program::fail(kName, problem.message());
    std::cout << "tables are consistent and describe GF(3^" << f.degree()
              << ") with f = " << gf3mq::format_polynomial(f) << "\n";
    return program::finish_output(kName) ? 0 : 1;
  }
  if (!poly_text.empty()) {
    if (!gf3mq::parse_polynomial(poly_text, f, &problem)) return program::fail(kName, problem.message());
  } else {
    f = gf3mq::default_polynomial(degree, log.reporter());
    log.end();
  }
  if (!lock.acquire(gf3mq::FolderLock::Mode::exclusive, &problem)) return program::fail(kName, problem.message());
  // What killed runs left behind goes.
  if (!gf3mq::journal_present() && !gf3mq::remove_leftovers(&problem)) return program::fail(kName, problem.message());
  log.start("writing the tables");
  const gf3mq::TablesWritten written = gf3mq::write_tables(f, &problem);
  if (written == gf3mq::TablesWritten::none) return program::fail(kName, problem.message());
  log.end();
  lock.release();
  std::cout << (written == gf3mq::TablesWritten::missing
                    ? "an interrupted run had left one table; wrote the missing one for f = "
                    : "wrote the field tables for f = ")
            << gf3mq::format_polynomial(f) << "\n";
  return program::finish_output(kName, "the tables are in place") ? 0 : 1;
}
