// gf3mq-tables: writes or checks the two field-table files of GF(3^257) in
// the current directory.
#include <cstring>
#include <iostream>
#include <string>

#include "app/program.h"
#include "scheme/folder_lock.h"
#include "scheme/key_set.h"
#include "tools/table_builder.h"

namespace {

constexpr const char* kName = "gf3mq-tables";

constexpr const char* kUsage =
    "usage: gf3mq-tables [--poly 'POLYNOMIAL'] | --check | --help\n"
    "\n"
    "Writes \"new Xe_mod_Irredfx.txt\" (row r = x^(257+r) mod f, 512 x 257) and\n"
    "\"new X_27i_mod_Irredfx.txt\" (row k = x^(27k) mod f, 257 x 257) into the\n"
    "current directory, for a monic irreducible f of degree 257 over GF(3).\n"
    "\n"
    "  --poly P   use f = P instead of the default x^257 + 2*x^22 + 1; terms c*x^k,\n"
    "             x^k, c*x, x or c with c in 0..2, joined by +\n"
    "  --check    verify the two files of the current directory\n"
    "  --help     show this text\n"
    "\n"
    "Existing table files are never overwritten: keys depend on them. When an\n"
    "interrupted run left only one of the two, a run with the same f writes the other.\n";

}  // namespace

int main(int argc, char** argv) {
  namespace program = gf3mq::program;
  if (!program::standard_streams_ready(kName)) return 1;
  std::string poly_text = gf3mq::kDefaultPolynomial;
  bool check = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return program::finish_output(kName) ? 0 : 1;
    }
    if (arg == "--check") {
      check = true;
    } else if (arg == "--poly" && i + 1 < argc) {
      poly_text = argv[++i];
    } else if (arg.rfind("--poly=", 0) == 0) {
      poly_text = arg.substr(std::strlen("--poly="));
    } else {
      std::cerr << kUsage;
      program::fail(kName, "unknown or incomplete argument \"" + arg + "\"");
      return 2;
    }
  }
  gf3mq::FileProblem problem;
  gf3mq::FolderLock lock;
  gf3mq::Polynomial f;
  if (check) {
    if (!lock.acquire(gf3mq::FolderLock::Mode::shared, &problem)) return program::fail(kName, problem.message());
    if (!gf3mq::check_tables(f, &problem)) return program::fail(kName, problem.message());
    std::cout << "tables are consistent and describe GF(3^257) with f = " << gf3mq::format_polynomial(f) << "\n";
    return program::finish_output(kName) ? 0 : 1;
  }
  if (!gf3mq::parse_polynomial(poly_text, f, &problem)) return program::fail(kName, problem.message());
  if (!lock.acquire(gf3mq::FolderLock::Mode::exclusive, &problem)) return program::fail(kName, problem.message());
  if (!gf3mq::journal_present()) gf3mq::remove_leftovers();  // what killed runs left behind
  const gf3mq::TablesWritten written = gf3mq::write_tables(f, &problem);
  if (written == gf3mq::TablesWritten::none) return program::fail(kName, problem.message());
  lock.release();
  if (written == gf3mq::TablesWritten::missing)
    std::cout << "an interrupted run had left one table; wrote the missing one for f = ";
  else
    std::cout << "wrote the field tables for f = ";
  std::cout << gf3mq::format_polynomial(f) << "\n";
  return program::finish_output(kName, "the tables are in place") ? 0 : 1;
}
