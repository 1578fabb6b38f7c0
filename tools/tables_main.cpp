// gf3mq-tables: writes or checks the two field-table files of GF(3^257) in
// the current directory.
#include <cstring>
#include <iostream>
#include <string>

#include "tools/table_builder.h"

namespace {

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
    "Existing table files are never overwritten: keys depend on them.\n";

int fail(const std::string& message, int status = 1) {
  std::cerr << "gf3mq-tables: " << message << "\n";
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  std::string poly_text = gf3mq::kDefaultPolynomial;
  bool check = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (arg == "--check") {
      check = true;
    } else if (arg == "--poly" && i + 1 < argc) {
      poly_text = argv[++i];
    } else if (arg.rfind("--poly=", 0) == 0) {
      poly_text = arg.substr(std::strlen("--poly="));
    } else {
      std::cerr << kUsage;
      return fail("unknown or incomplete argument \"" + arg + "\"", 2);
    }
  }
  std::string message;
  if (check) {
    if (!gf3mq::check_tables(message)) return fail(message);
    std::cout << message << "\n";
    return 0;
  }
  gf3mq::Polynomial f;
  if (!gf3mq::parse_polynomial(poly_text, f, message)) return fail(message);
  if (!gf3mq::write_tables(f, message)) return fail(message);
  std::cout << "wrote the field tables for f = " << gf3mq::format_polynomial(f) << "\n";
  return 0;
}
