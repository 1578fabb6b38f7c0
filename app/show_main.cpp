// gf3mq-show: writes the key set of the working directory as algebra: f,
// the public polynomials and, with --secret, the secret maps around X^30.
#include <iostream>
#include <string>

#include "app/program.h"
#include "learn/key_algebra.h"
#include "scheme/key_set.h"

namespace {

constexpr const char* kName = "gf3mq-show";

constexpr const char* kUsage =
    "Usage: gf3mq-show [-C DIR] [--secret] [--polynomial K | --all] [--format text|gp]\n"
    "\n"
    "Writes the key set of the current folder as algebra, to read and to check\n"
    "by hand or in PARI/GP: the field GF(3^n) = GF(3)[x]/(f) and the public\n"
    "polynomials P_1..P_n in x1..xn of \"new pk.txt\". P_i holds the stored\n"
    "cross terms xj*xk (j < k) and linear terms xj; the squares and the\n"
    "constant are not stored: \"new sk.txt\" holds their sum at {1, 2}^n, where\n"
    "every xj^2 = 1, and --secret adds it as the constant of each P_i.\n"
    "\n"
    "  --secret        add the secret key: mat_A, V1, mat_B, V2, the inverses,\n"
    "                  the corrections of \"new sk.txt\" and the central map\n"
    "                  F(X) = X^30, with P(x) = mat_A F(mat_B x + V2) + V1\n"
    "  --polynomial K  f and P_K alone (K from 1 to n)\n"
    "  --all           the whole key set at n past 31 too (n polynomials of\n"
    "                  about n^2/2 terms, n x n matrices)\n"
    "  --format gp     PARI/GP input; with --secret it checks\n"
    "                  P(x) = mat_A F(mat_B x + V2) + V1 on {1, 2}^n when read\n"
    "                  (gp -q FILE); --format text (the default) is for people\n"
    "  -C DIR          work in the folder DIR\n"
    "  --help          show this text\n"
    "  --version       show the version\n"
    "\n"
    "Past n = 31 the whole key set needs --all, or --polynomial K for one\n"
    "polynomial. With --secret the output holds the secret key: a warning\n"
    "says so on standard error and at the top of the output.\n"
    "\n"
    "Exit status: 0 when written; 1 when a file of the key set is missing or\n"
    "damaged, or the output could not be written; 2 for a usage error, or a\n"
    "whole key set past n = 31 without --all.\n";

// K of --polynomial: a whole number, -1 when it is none.
int polynomial_number(const std::string& text) {
  if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos) return -1;
  return std::stoi(text);
}

}  // namespace

int main(int argc, char** argv) {
  namespace program = gf3mq::program;
  gf3mq::ShowChoice choice;
  std::string polynomial, format = "text";
  program::CommandLine command_line(kName, kUsage);
  command_line.flag("--secret", choice.secret);
  command_line.option_with_value("--polynomial", polynomial);
  command_line.flag("--all", choice.all);
  command_line.option_with_value("--format", format);
  command_line.exclusive("--polynomial", "--all");
  if (!command_line.parse(argc, argv, 0)) return command_line.exit_status();
  if (format != "text" && format != "gp")
    return program::fail(kName, "--format is text or gp, not \"" + format + "\"", 2);
  choice.format = format == "gp" ? gf3mq::AlgebraFormat::gp : gf3mq::AlgebraFormat::text;
  if (!polynomial.empty()) {
    choice.polynomial = polynomial_number(polynomial);
    if (choice.polynomial < 1)
      return program::fail(kName, "--polynomial takes a number K from 1 to n, not \"" + polynomial + "\"", 2);
  }
  if (choice.secret) program::warn_if_folder_open(kName);

  gf3mq::FileProblem problem;
  gf3mq::FolderLock lock(program::lock_wait(kName));
  if (!gf3mq::lock_key_set_for_reading(lock, &problem)) return program::fail(kName, problem.message());
  gf3mq::Sizes sizes;
  if (!program::sizes_of_tables(kName, sizes)) return 1;
  if (const std::string refusal = gf3mq::show_refusal(sizes.n, choice); !refusal.empty())
    return program::fail(kName, refusal, 2);
  gf3mq::KeyAlgebra keys;
  if (!gf3mq::load_key_algebra(sizes, choice.secret, keys, &problem)) return program::fail_with_key_set(kName, problem);
  lock.release();

  if (choice.secret) program::fail(kName, std::string("SECRET: ") + gf3mq::secret_warning());
  const auto write = choice.format == gf3mq::AlgebraFormat::gp ? gf3mq::write_key_algebra_gp : gf3mq::write_key_algebra;
  write(std::cout, keys, choice);
  return program::finish_output(kName) ? 0 : 1;
}
