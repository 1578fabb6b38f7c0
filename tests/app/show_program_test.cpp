// gf3mq-show as a user runs it in a folder of n = 7: the polynomials it
// writes, read back, are the public key (plus "new sk.txt" with --secret);
// the matrices it writes are the files; nothing secret without --secret; the
// PARI/GP form checks P(x) = mat_A F(mat_B x + V2) + V1 in gp, which reads
// P_1 at 257 whole; and past n = 31 only one polynomial, or everything with
// --all.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>

#include "field/sizes.h"
#include "scheme/encrypt.h"
#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The digits of a text, in order ("[1 0 2]" and "102" both give "102").
std::string digits_of(const std::string& text) {
  std::string digits;
  for (char c : text)
    if (c >= '0' && c <= '9') digits += c;
  return digits;
}

// The value mod 3 of "2*x1*x2 + x3 + 1" at x (x[0] is x1).
int evaluate(const std::string& polynomial, const std::vector<int>& x) {
  int sum = 0;
  std::istringstream terms(polynomial);
  for (std::string term; std::getline(terms, term, '+');) {
    int product = 1;
    std::istringstream factors(term);
    for (std::string factor; std::getline(factors, factor, '*');) {
      factor.erase(0, factor.find_first_not_of(' '));
      factor.erase(factor.find_last_not_of(' ') + 1);
      EXPECT_FALSE(factor.empty()) << polynomial;
      if (factor[0] == 'x') {
        const int j = std::atoi(factor.c_str() + 1);
        EXPECT_TRUE(j >= 1 && j <= static_cast<int>(x.size())) << factor;
        if (j < 1 || j > static_cast<int>(x.size())) return -1;
        product *= x[static_cast<std::size_t>(j - 1)];
      } else {
        product *= std::atoi(factor.c_str());
      }
    }
    sum += product;
  }
  return sum % 3;
}

// The text of each "  P_i = ..." line, by i (empty where there is none).
std::vector<std::string> polynomials_of(const std::string& out, int n) {
  std::vector<std::string> polys(static_cast<std::size_t>(n) + 1);
  for (const std::string& line : lines_of(out)) {
    if (line.rfind("  P_", 0) != 0) continue;
    const std::size_t equals = line.find(" = ");
    const int i = std::atoi(line.c_str() + 4);
    if (equals == std::string::npos || i < 1 || i > n) {
      ADD_FAILURE() << line;
      continue;
    }
    polys[static_cast<std::size_t>(i)] = line.substr(equals + 3);
  }
  return polys;
}

// The n lines after the one that begins with heading, their digits joined.
std::string matrix_after(const std::string& out, const std::string& heading, int n) {
  const std::vector<std::string> lines = lines_of(out);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind(heading, 0) != 0) continue;
    std::string digits;
    for (std::size_t r = i + 1; r <= i + static_cast<std::size_t>(n) && r < lines.size(); ++r)
      digits += digits_of(lines[r]);
    return digits;
  }
  return "no " + heading;
}

// The digit list on the line that begins with heading, up to ";".
std::string vector_on(const std::string& out, const std::string& heading) {
  for (const std::string& line : lines_of(out))
    if (line.rfind(heading, 0) == 0) return digits_of(line.substr(heading.size(), line.find(';') - heading.size()));
  return "no " + heading;
}

// A key set at n in a scratch folder, and the encryption of its public key.
class ShowProgramTest : public testing::Test {
 protected:
  void make_key_set(int degree) {
    n = degree;
    const CommandResult run = run_command(program("gf3mq-tables") + " --degree " + std::to_string(n) +
                                          " >/dev/null && " + program("gf3mq-keygen") + " --no-wait </dev/null");
    ASSERT_EQ(run.status, 0) << run.err;
    pk = digits_of(read_file("new pk.txt"));
    sk = digits_of(read_file("new sk.txt"));
  }
  void SetUp() override { make_key_set(7); }

  // c = the stored forms at x (elements 1 or 2).
  std::vector<int> encryption(const std::vector<int>& x) const {
    std::vector<unsigned char> forms(pk.size()), m(x.begin(), x.end()), c(x.size());
    for (std::size_t i = 0; i < pk.size(); ++i) forms[i] = static_cast<unsigned char>(pk[i] - '0');
    gf3mq::encrypt_at(gf3mq::Sizes{n}, forms.data(), m.data(), c.data());
    return std::vector<int>(c.begin(), c.end());
  }

  std::vector<int> point(unsigned index) const {  // bit j of index: x(j+1) = 2
    std::vector<int> x(static_cast<std::size_t>(n));
    for (int j = 0; j < n; ++j) x[static_cast<std::size_t>(j)] = 1 + static_cast<int>((index >> j) & 1u);
    return x;
  }

  ScratchDir dir;
  int n = 0;
  std::string pk, sk;
};

TEST_F(ShowProgramTest, PolynomialsAreTheStoredFormsAndWithSecretTheConstantsOfSk) {
  const CommandResult shown = run_command(program("gf3mq-show"));
  ASSERT_EQ(shown.status, 0) << shown.err;
  const CommandResult restored = run_command(program("gf3mq-show") + " --secret");
  ASSERT_EQ(restored.status, 0) << restored.err;
  const std::vector<std::string> stored = polynomials_of(shown.out, n), full = polynomials_of(restored.out, n);
  for (unsigned index = 0; index < (1u << n); ++index) {  // every plaintext of {1, 2}^7
    const std::vector<int> x = point(index), c = encryption(x);
    for (int i = 1; i <= n; ++i) {
      const std::size_t k = static_cast<std::size_t>(i);
      ASSERT_EQ(evaluate(stored[k], x), c[k - 1]) << "P_" << i << " = " << stored[k] << " at point " << index;
      ASSERT_EQ(evaluate(full[k], x), (c[k - 1] + sk[k - 1] - '0') % 3) << "P_" << i << " = " << full[k];
    }
  }
  // f, as the tables' own check names it.
  const std::string check = run_command(program("gf3mq-tables") + " --check").out;
  std::string f = check.substr(check.find("f = "));
  f.erase(f.find('\n'));
  EXPECT_TRUE(has(shown.out, "GF(3^7) = GF(3)[x]/(f), " + f)) << shown.out << check;
  // --polynomial K: f and P_K alone, counted from 1.
  for (const char* secret : {"", " --secret"}) {
    const CommandResult one = run_command(program("gf3mq-show") + " --polynomial 3" + secret);
    ASSERT_EQ(one.status, 0) << one.err;
    const std::vector<std::string> polys = polynomials_of(one.out, n);
    for (int i = 1; i <= n; ++i) EXPECT_EQ(polys[static_cast<std::size_t>(i)].empty(), i != 3) << i << one.out;
    EXPECT_EQ(polys[3], (*secret != 0 ? full : stored)[3]);
    EXPECT_TRUE(has(one.out, f));
    EXPECT_FALSE(has(one.out, "mat_A (")) << one.out;
  }
}

TEST_F(ShowProgramTest, SecretMatricesAndVectorsAreTheFilesWithAWarning) {
  const CommandResult run = run_command(program("gf3mq-show") + " --secret");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::pair<const char*, const char*> matrices[] = {{"  mat_A (", "new Mat_A.txt"},
                                                          {"  mat_B (", "new Mat_B.txt"},
                                                          {"  Inv_A = mat_A^-1 (", "new Inv_A.txt"},
                                                          {"  Inv_B = mat_B^-1 (", "new Inv_B.txt"}};
  for (const auto& [heading, file] : matrices)
    EXPECT_EQ(matrix_after(run.out, heading, n), digits_of(read_file(file))) << file;
  EXPECT_EQ(vector_on(run.out, "  V1 (\"new V1.txt\") = "), digits_of(read_file("new V1.txt")));
  EXPECT_EQ(vector_on(run.out, "  V2 (\"new V2.txt\") = "), digits_of(read_file("new V2.txt")));
  EXPECT_EQ(vector_on(run.out, "  sk (\"new sk.txt\") = "), sk);
  // The warning on standard error and as the heading of the output.
  EXPECT_TRUE(has(run.err, "gf3mq-show: SECRET: ")) << run.err;
  EXPECT_EQ(lines_of(run.out).at(2).rfind("SECRET: ", 0), 0u) << run.out;
  EXPECT_TRUE(has(run.out, "F(X) = X^30 = X^27 * X^3 on GF(3^7)"));
  EXPECT_TRUE(has(run.out, "P(x) = mat_A F(mat_B x + V2) + V1"));
}

TEST_F(ShowProgramTest, WithoutSecretNothingSecretIsShownNorRead) {
  const CommandResult run = run_command(program("gf3mq-show"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  for (const char* part : {"SECRET", "mat_A (", "mat_B (", "Inv_A", "V1 (", "sk (", "X^30"})
    EXPECT_FALSE(has(run.out, part)) << part;
  EXPECT_TRUE(has(run.out, "in the secret file \"new sk.txt\"")) << run.out;
  const CommandResult gp = run_command(program("gf3mq-show") + " --format gp");
  ASSERT_EQ(gp.status, 0) << gp.err;
  for (const char* part : {"SECRET", "A = ", "B = ", "sk = ", "check_all"}) EXPECT_FALSE(has(gp.out, part)) << part;
  EXPECT_TRUE(has(gp.out, "cannot be checked")) << gp.out;
  // The secret files are not even read: without them the output is the same.
  for (const char* file :
       {"new Mat_A.txt", "new Mat_B.txt", "new Inv_A.txt", "new Inv_B.txt", "new V1.txt", "new V2.txt", "new sk.txt"})
    std::remove(file);
  const CommandResult again = run_command(program("gf3mq-show"));
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(again.out, run.out);
  const CommandResult secret = run_command(program("gf3mq-show") + " --secret");
  EXPECT_EQ(secret.status, 1);
  EXPECT_TRUE(has(secret.err, "\"new Mat_A.txt\"")) << secret.err;
  EXPECT_EQ(secret.out, "");
}

TEST_F(ShowProgramTest, DamagedFilesAndWrongOptionsAreNamed) {
  const std::string good_sk = read_file("new sk.txt");
  write_file("new sk.txt", good_sk.substr(0, 5));
  CommandResult run = run_command(program("gf3mq-show") + " --secret");
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(has(run.err, "\"new sk.txt\"")) << run.err;
  EXPECT_EQ(run_command(program("gf3mq-show")).status, 0);  // not needed without --secret
  write_file("new pk.txt", pk.substr(1) + "3");
  run = run_command(program("gf3mq-show"));
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(has(run.err, "\"new pk.txt\"")) << run.err;
  EXPECT_EQ(run.out, "");
  write_file("new pk.txt", pk);
  for (const char* options : {"--polynomial 0", "--polynomial 8", "--polynomial x", "--format tex",
                              "--polynomial 1 --all", "--bogus", "extra"}) {
    run = run_command(program("gf3mq-show") + " " + options);
    EXPECT_EQ(run.status, 2) << options;
    EXPECT_TRUE(has(run.err, "gf3mq-show: ")) << options;
  }
  EXPECT_TRUE(has(run_command(program("gf3mq-show") + " --polynomial 8").err, "from 1 to 7"));
  run = run_command(program("gf3mq-show") + " >/dev/full");  // a full disk loses the output
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(has(run.err, "standard output could not be written")) << run.err;
}

TEST_F(ShowProgramTest, PariGpChecksThePublicMapAndFindsADamagedPolynomial) {
  if (run_command("command -v gp").status != 0) GTEST_SKIP() << "gp (PARI/GP, Debian package pari-gp) is not on PATH";
  const CommandResult show = run_command(program("gf3mq-show") + " --secret --format gp > key.gp");
  ASSERT_EQ(show.status, 0) << show.err;
  CommandResult gp = run_command("gp -q key.gp </dev/null");
  EXPECT_EQ(gp.status, 0) << gp.err;
  EXPECT_TRUE(has(gp.out, "check passed: P(x) = mat_A F(mat_B x + V2) + V1 at 128 points")) << gp.out << gp.err;
  EXPECT_FALSE(has(gp.out + gp.err, "FAILED")) << gp.out;
  EXPECT_FALSE(has(gp.out + gp.err, "***")) << gp.err;  // gp's errors
  // One more term in P[3]: x1*x2 is 1 or 2 on {1, 2}^7, so every point fails.
  std::string text = read_file("key.gp");
  EXPECT_EQ(lines_of(text).at(1).rfind("\\\\ SECRET: ", 0), 0u) << text;  // a gp comment at the top
  const std::string p3 = "P[3] = Mod(1, 3) * (";
  ASSERT_TRUE(has(text, p3));
  write_file("key.gp", text.insert(text.find(p3) + p3.size(), "x1*x2 + "));
  gp = run_command("gp -q key.gp </dev/null");
  EXPECT_TRUE(has(gp.out, "check FAILED at 128 of 128 points")) << gp.out;
  EXPECT_FALSE(has(gp.out, "check passed")) << gp.out;
}

// A key set past kShowLimit.
class ShowPastTheLimitTest : public ShowProgramTest {
 protected:
  void SetUp() override { make_key_set(127); }
};

TEST_F(ShowPastTheLimitTest, OnePolynomialOrEverythingWithAll) {
  for (const char* options : {"", " --secret", " --format gp"}) {
    const CommandResult run = run_command(program("gf3mq-show") + options);
    EXPECT_EQ(run.status, 2) << options;
    EXPECT_TRUE(has(run.err, "n = 127")) << run.err;
    EXPECT_TRUE(has(run.err, "--polynomial K") && has(run.err, "--all")) << run.err;
    EXPECT_EQ(run.out, "");
  }
  const CommandResult one = run_command(program("gf3mq-show") + " --polynomial 127 --secret");
  ASSERT_EQ(one.status, 0) << one.err;
  const std::vector<std::string> polys = polynomials_of(one.out, n);
  for (int i = 1; i < n; ++i) EXPECT_TRUE(polys[static_cast<std::size_t>(i)].empty()) << i;
  std::mt19937 rng(127);
  for (int t = 0; t < 20; ++t) {
    std::vector<int> x(static_cast<std::size_t>(n));
    for (int& e : x) e = 1 + static_cast<int>(rng() % 2);
    EXPECT_EQ(evaluate(polys[127], x), (encryption(x)[126] + sk[126] - '0') % 3);
  }
  const CommandResult all = run_command(program("gf3mq-show") + " --all --secret");
  ASSERT_EQ(all.status, 0) << all.err;
  const std::vector<std::string> every = polynomials_of(all.out, n);
  for (int i = 1; i <= n; ++i) EXPECT_FALSE(every[static_cast<std::size_t>(i)].empty()) << i;
  EXPECT_EQ(matrix_after(all.out, "  mat_A (", n), digits_of(read_file("new Mat_A.txt")));
}

TEST_F(ShowProgramTest, PariGpReadsP1At257Whole) {  // 22,000 terms: more than gp reads in one sum
  if (run_command("command -v gp").status != 0) GTEST_SKIP() << "gp (PARI/GP, Debian package pari-gp) is not on PATH";
  const ScratchDir at_257;
  make_key_set(257);
  // P_1 at three plaintexts is the first digit of their ciphertexts.
  std::string plaintexts, at = "at(s) = my(v = Vec(s)); for (j = 1, n, eval(Str(\"x\", j, \"=\", v[j])));";
  at += " lift(eval(P[1]));\n";
  std::mt19937 rng(257);
  for (int t = 0; t < 3; ++t) {
    std::string x;
    for (int j = 0; j < n; ++j) x += static_cast<char>('1' + rng() % 2);
    plaintexts += x + "\n";
    at += "print(at(\"" + x + "\"))\n";
  }
  write_file("plain", plaintexts);
  write_file("at.gp", at);
  const CommandResult gp =
      run_command(program("gf3mq-show") + " --polynomial 1 --format gp > p1.gp && gp -q p1.gp <at.gp");
  const std::string first_digits = run_command(program("gf3mq-encrypt") + " plain | cut -c1").out;
  EXPECT_EQ(lines_of(first_digits).size(), 3u);
  EXPECT_EQ(gp.out, first_digits);
  for (const std::string& line : lines_of(gp.err)) EXPECT_TRUE(has(line, "Warning")) << gp.err;  // gp's errors
}

}  // namespace
