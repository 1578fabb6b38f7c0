// The table generator: polynomial parsing, the irreducibility proof, and the
// gf3mq-tables program's files, refusals and --check.
#include <gtest/gtest.h>

#include "field/field_tables.h"
#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

const std::string kTables = program("gf3mq-tables");

gf3mq::Polynomial parsed(const std::string& text) {
  gf3mq::Polynomial f;
  gf3mq::FileProblem problem;
  EXPECT_TRUE(gf3mq::parse_polynomial(text, f, &problem)) << problem.message();
  return f;
}

std::string parse_error(const std::string& text) {
  gf3mq::Polynomial f;
  gf3mq::FileProblem problem;
  EXPECT_FALSE(gf3mq::parse_polynomial(text, f, &problem)) << text;
  return problem.message();
}

TEST(PolynomialTest, ParsesEveryTermFormInAnyOrder) {
  const gf3mq::Polynomial f = parsed("1 + 2*x^91+x^257");
  EXPECT_EQ(f.coef[257], 1);
  EXPECT_EQ(f.coef[91], 2);
  EXPECT_EQ(f.coef[0], 1);
  EXPECT_EQ(gf3mq::format_polynomial(f), "x^257 + 2*x^91 + 1");
  const gf3mq::Polynomial g = parsed("x^257 + 2 * x + x + x^2 + 2*x^2 + 0*x^5 + 2");
  EXPECT_EQ(g.coef[1], 0);  // 2x + x = 0
  EXPECT_EQ(g.coef[2], 0);
  EXPECT_EQ(g.coef[0], 2);
  EXPECT_EQ(gf3mq::format_polynomial(parsed("x^257 + x + 2")), "x^257 + x + 2");
}

TEST(PolynomialTest, RefusesMalformedNonMonicAndWrongDegree) {
  // Degrees are odd, from 5 to 1021.
  for (const char* wrong : {"x^256 + 1", "x^3 + x + 1", "x^1020 + 1", "2"})
    EXPECT_NE(parse_error(wrong).find("the sizes are the odd n from 5 to 1021"), std::string::npos) << wrong;
  EXPECT_NE(parse_error("x^256 + 1").find("is of degree 256"), std::string::npos);
  EXPECT_EQ(parsed("x^5 + 2*x + 1").degree(), 5);
  EXPECT_EQ(parsed("x^1021 + x^5 + 2").degree(), 1021);
  EXPECT_NE(parse_error("2*x^257 + 1").find("monic"), std::string::npos);
  EXPECT_NE(parse_error("x^257 + 3*x + 1").find("not 0, 1 or 2"), std::string::npos);
  EXPECT_NE(parse_error("x^1022 + 1").find("above 1021"), std::string::npos);
  parse_error("x^257 + + 1");
  parse_error("x^257 + y");
  parse_error("x^257 - 1");
  parse_error("");
}

TEST(PolynomialTest, IrreducibilityIsProven) {
  EXPECT_TRUE(gf3mq::is_irreducible(parsed(kPolyA)));
  EXPECT_TRUE(gf3mq::is_irreducible(parsed(kPolyB)));
  EXPECT_FALSE(gf3mq::is_irreducible(parsed("x^257 + 1")));         // root 2
  EXPECT_FALSE(gf3mq::is_irreducible(parsed("x^257 + x^22 + 1")));  // no root, still reducible
  EXPECT_FALSE(gf3mq::is_irreducible(parsed("x^257 + 2*x^12 + 1")));
  EXPECT_EQ(gf3mq::evaluate(parsed("x^257 + 1"), 2), 0u);
}

TEST(TablesProgramTest, WritesCheckableTablesAndRefusesToOverwrite) {
  ScratchDir dir;
  CommandResult run = run_command(kTables);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(read_file("new Xe_mod_Irredfx.txt").size(), 512u * 257);
  EXPECT_EQ(read_file("new X_27i_mod_Irredfx.txt").size(), 257u * 257);
  EXPECT_EQ(list_dir(".").size(), 2u);
  // The default polynomial's tables, digit for digit.
  const Mat_ZZ_p& reduction = reduction_table_of(kPolyA);
  std::string expected(512 * 257, '0');
  for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<char>('0' + reduction.data()[i]);
  EXPECT_EQ(read_file("new Xe_mod_Irredfx.txt"), expected);

  run = run_command(kTables + " --check");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "tables are consistent and describe GF(3^257) with f = x^257 + 2*x^22 + 1\n");
}

TEST(TablesProgramTest, RefusalsWriteNothing) {
  ScratchDir dir;
  CommandResult run = run_command(kTables + " --poly 'x^257 + 1'");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("reducible"), std::string::npos);
  run = run_command(kTables + " --poly 'x^257 + 7*x'");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("not 0, 1 or 2"), std::string::npos);
  run = run_command(kTables + " --frobnicate");
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(list_dir(".").empty());
  // A check of the tables of one polynomial is no check at all: refused.
  run = run_command(kTables + " --poly 'x^257 + 2*x^91 + 1' --check");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("--poly and --check cannot be used together"), std::string::npos) << run.err;
  EXPECT_EQ(run_command(kTables + " --check --poly='x^257 + 2*x^91 + 1'").status, 2);
  EXPECT_TRUE(list_dir(".").empty());

  ASSERT_EQ(run_command(kTables + " --poly 'x^257 + 2*x^91 + 1'").status, 0);
  const std::string reduction = read_file("new Xe_mod_Irredfx.txt");
  run = run_command(kTables);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("already exists"), std::string::npos);
  EXPECT_EQ(read_file("new Xe_mod_Irredfx.txt"), reduction);
  EXPECT_EQ(list_dir(".").size(), 2u);
  run = run_command(kTables + " --help");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("Usage: gf3mq-tables", 0), 0u);
}

TEST(TablesProgramTest, CheckNamesTheFirstBadFileAndRow) {
  ScratchDir dir;
  ASSERT_EQ(run_command(kTables + " --poly 'x^257 + 2*x^91 + 1'").status, 0);
  CommandResult run = run_command(kTables + " --check");
  ASSERT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("x^257 + 2*x^91 + 1"), std::string::npos);

  const std::string reduction = read_file("new Xe_mod_Irredfx.txt");
  for (const int row : {300, 511}) {  // a middle row and the last one
    std::string changed = reduction;
    changed[row * 257 + 5] = changed[row * 257 + 5] == '1' ? '2' : '1';
    write_file("new Xe_mod_Irredfx.txt", changed);
    run = run_command(kTables + " --check");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("\"new Xe_mod_Irredfx.txt\" row " + std::to_string(row) + " is not x^"), std::string::npos)
        << run.err;
  }

  write_file("new Xe_mod_Irredfx.txt", reduction);
  std::string frobenius = read_file("new X_27i_mod_Irredfx.txt");
  frobenius[40 * 257] = frobenius[40 * 257] == '0' ? '1' : '0';
  write_file("new X_27i_mod_Irredfx.txt", frobenius);
  run = run_command(kTables + " --check");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("\"new X_27i_mod_Irredfx.txt\" row 40"), std::string::npos) << run.err;

  write_file("new X_27i_mod_Irredfx.txt", frobenius.substr(0, 1000));
  run = run_command(kTables + " --check");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("too short"), std::string::npos) << run.err;
  write_file("new X_27i_mod_Irredfx.txt", frobenius + "1");
  EXPECT_EQ(run_command(kTables + " --check").status, 1);
  std::remove("new Xe_mod_Irredfx.txt");
  run = run_command(kTables + " --check");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("\"new Xe_mod_Irredfx.txt\" cannot be opened"), std::string::npos) << run.err;
}

}  // namespace
