// Traced runs: every value a trace shows is recomputed here from the key
// files with the clear routines (matrix products and a schoolbook product
// mod f), at n = 7 and 31; standard output stays byte for byte the same.
#include "learn/trace.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <regex>
#include <sstream>

#include "scheme/key_files.h"
#include "tests/clear_field.h"
#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;
using Digits = std::vector<std::uint8_t>;

// "label = [d d d]..." lines of a trace, by label; each label's last value.
std::map<std::string, Digits> traced_values(const std::string& trace) {
  std::map<std::string, Digits> values;
  std::istringstream in(trace);
  const std::regex value_line("^(.*) = \\[([0-2 ]*)\\].*$");
  for (std::string line; std::getline(in, line);) {
    std::smatch match;
    if (!std::regex_match(line, match, value_line)) continue;
    Digits digits;
    for (char ch : match[2].str())
      if (ch != ' ') digits.push_back(static_cast<std::uint8_t>(ch - '0'));
    values[match[1].str()] = digits;
  }
  return values;
}

Digits digits_of_line(const std::string& line) {
  Digits digits;
  for (char ch : line)
    if (ch >= '0' && ch <= '2') digits.push_back(static_cast<std::uint8_t>(ch - '0'));
  return digits;
}

Digits digits_of(const Vec_ZZ_p& v) { return Digits(v.data(), v.data() + v.length()); }
Vec_ZZ_p vector_of(const Digits& d) {
  Vec_ZZ_p v(static_cast<int>(d.size()));
  for (std::size_t i = 0; i < d.size(); ++i) v.set(static_cast<int>(i), d[i]);
  return v;
}

Digits negated(Digits a) {
  for (auto& e : a) e = static_cast<std::uint8_t>((3 - e) % 3);
  return a;
}

Digits sum(const Digits& a, const Digits& b) {
  Digits out(a.size());
  for (std::size_t i = 0; i < a.size(); ++i) out[i] = static_cast<std::uint8_t>((a[i] + b[i]) % 3);
  return out;
}

class TracedRunTest : public testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    n = GetParam();
    sizes = gf3mq::Sizes{n};
    const CommandResult run = run_command(program("gf3mq-tables") + " --degree " + std::to_string(n) + " && " +
                                          program("gf3mq-keygen") + " --no-wait </dev/null");
    ASSERT_EQ(run.status, 0) << run.err;
  }
  Mat_ZZ_p matrix(const char* file) const {
    Mat_ZZ_p m(n, n);
    EXPECT_TRUE(
        gf3mq::read_key_file(sizes, file, m.data(), sizes.matrix_digits(), nullptr, gf3mq::kReductionTableFile));
    return m;
  }
  Digits vector(const char* file) const {
    Vec_ZZ_p v(n);
    EXPECT_TRUE(gf3mq::read_key_file(sizes, file, v.data(), sizes.elements(), nullptr, gf3mq::kReductionTableFile));
    return digits_of(v);
  }
  ScratchDir dir;
  int n = 0;
  gf3mq::Sizes sizes;
};

TEST_P(TracedRunTest, EveryTracedValueIsTheComputationOfTheKeyFiles) {
  CommandResult run = run_command(program("gf3mq-demo") + " --no-wait --trace");
  ASSERT_EQ(run.status, 0) << run.err;
  std::map<std::string, Digits> t = traced_values(run.err);
  std::vector<std::string> out;
  for (std::istringstream in(run.out); std::getline(in, out.emplace_back());) {
  }
  ASSERT_GE(out.size(), 10u) << run.out;
  const ClearField f = clear_field_here(n);
  const Digits x = digits_of_line(out[1]), c = digits_of_line(out[3]);
  const Digits sk = digits_of_line(read_file("new sk.txt"));
  // Encryption: S, the central map by its definition, T, the corrections.
  EXPECT_EQ(t["plaintext x"], x);
  const Digits X = digits_of(matrix(gf3mq::kMatBFile) * vector_of(x) + vector_of(vector(gf3mq::kV2File)));
  EXPECT_EQ(t["X = mat_B x + V2"], X);
  const Digits X3 = f.product(f.product(X, X), X);
  EXPECT_EQ(t["X^3"], X3);
  const Digits X27 = f.power(X, "1000");
  EXPECT_EQ(t["X^27 = (X^3)^9"], X27);
  const Digits X30 = f.product(X27, X3);
  EXPECT_EQ(t["X^30 = X^27 * X^3"], X30);
  const Digits image = digits_of(matrix(gf3mq::kMatAFile) * vector_of(X30) + vector_of(vector(gf3mq::kV1File)));
  EXPECT_EQ(t["mat_A X^30 + V1"], image);
  EXPECT_EQ(t["ciphertext c = the public forms at x (no squares, no constant)"], c);
  EXPECT_EQ(t["corrections sk of \"new sk.txt\""], sk);
  EXPECT_EQ(t["c + sk"], image);
  EXPECT_NE(run.err.find("c + sk equals mat_A X^30 + V1"), std::string::npos);
  // Secret values come after one warning that says so.
  const std::size_t warning = run.err.find("SECRET: this trace shows values of the secret key");
  EXPECT_LT(warning, run.err.find("X = mat_B x + V2"));
  EXPECT_EQ(run.err.find("SECRET:", warning + 1), std::string::npos) << run.err;
  // Decryption: T undone, Y^d with the d the trace names, S undone.
  EXPECT_EQ(t["ciphertext c"], c);
  const Digits Y = digits_of(matrix(gf3mq::kInvAFile) * (vector_of(sum(c, sk)) - vector_of(vector(gf3mq::kV1File))));
  EXPECT_EQ(t["Y = Inv_A (c + sk - V1)"], Y);
  EXPECT_EQ(Y, X30);
  std::smatch d;
  ASSERT_TRUE(std::regex_search(run.err, d, std::regex("\nd = ([0-2]+) \\(base 3\\)")));
  const Digits root = f.power(Y, d[1].str());
  EXPECT_EQ(t["Y^d"], root);
  EXPECT_EQ(t["-Y^d"], negated(root));
  EXPECT_TRUE(root == X || negated(root) == X);
  EXPECT_NE(run.err.find("(base 3) = 1 + (3^" + std::to_string(n) + " - 1) / 2\n"), std::string::npos) << run.err;
  const Mat_ZZ_p inv_b = matrix(gf3mq::kInvBFile);
  const Vec_ZZ_p v2 = vector_of(vector(gf3mq::kV2File));
  const Digits m1 = digits_of(inv_b * (vector_of(root) - v2)), m2 = digits_of(inv_b * (vector_of(negated(root)) - v2));
  EXPECT_EQ(t["candidate 1 = Inv_B (Y^d - V2)"], m1);
  EXPECT_EQ(t["candidate 2 = Inv_B (-Y^d - V2)"], m2);
  EXPECT_EQ(digits_of_line(out[6]), m1);
  EXPECT_EQ(digits_of_line(out[7]), m2);
  const bool ambiguous = run.err.find("the plaintext is ambiguous") != std::string::npos;
  if (!ambiguous) {
    EXPECT_NE(run.err.find(std::string("the message is candidate ") + (m1 == x ? "1" : "2")), std::string::npos);
  }
}

TEST_P(TracedRunTest, StandardOutputIsTheSameAndEachVerdictIsTheProgramsOwn) {
  std::mt19937 rng(static_cast<std::uint32_t>(n));
  std::string plain;
  for (int t = 0; t < 25; ++t) {
    for (int j = 0; j < n; ++j) plain += static_cast<char>('1' + rng() % 2);
    plain += '\n';
  }
  write_file("plain.txt", plain);
  const CommandResult quiet = run_command(program("gf3mq-encrypt") + " plain.txt");
  const CommandResult traced = run_command(program("gf3mq-encrypt") + " --trace plain.txt");
  ASSERT_EQ(quiet.status, 0);
  ASSERT_EQ(traced.status, 0) << traced.err;
  EXPECT_EQ(traced.out, quiet.out);
  EXPECT_EQ(quiet.err, "");
  write_file("cipher.txt", quiet.out);
  const CommandResult both = run_command(program("gf3mq-decrypt") + " --both cipher.txt");
  const CommandResult traced_both = run_command(program("gf3mq-decrypt") + " --both --trace cipher.txt");
  EXPECT_EQ(traced_both.out, both.out);
  EXPECT_EQ(traced_both.status, both.status);
  // One verdict per ciphertext, in order: ambiguous exactly where the program says so.
  std::istringstream err(traced_both.err);
  std::vector<bool> said_ambiguous;
  for (std::string line; std::getline(err, line);) {
    if (line.rfind("the message is candidate", 0) == 0) said_ambiguous.push_back(false);
    if (line.rfind("both candidates encrypt back", 0) == 0) said_ambiguous.push_back(true);
  }
  ASSERT_EQ(said_ambiguous.size(), 25u) << traced_both.err;
  std::size_t ambiguous = 0;
  for (bool a : said_ambiguous) ambiguous += a ? 1 : 0;
  std::size_t written = 0;
  for (std::size_t at = 0; (at = both.err.find("both are written", at)) != std::string::npos; ++at) ++written;
  EXPECT_EQ(ambiguous, written);
  // Without the secret files, encryption traces the public evaluation alone.
  ASSERT_EQ(run_command("mkdir public && cp 'new pk.txt' public/").status, 0);
  const CommandResult public_only = run_command(program("gf3mq-encrypt") + " -C public --trace ../plain.txt");
  EXPECT_EQ(public_only.status, 0);
  EXPECT_EQ(public_only.out, quiet.out);
  EXPECT_NE(public_only.err.find("the secret files are not in this folder: only the public evaluation is traced"),
            std::string::npos);
  EXPECT_EQ(public_only.err.find("X^30"), std::string::npos);
  EXPECT_EQ(public_only.err.find("SECRET"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Sizes, TracedRunTest, testing::Values(7, 31),
                         [](const auto& info) { return std::to_string(info.param); });

// 30 d mod (3^n - 1) in base 3 against 64-bit arithmetic, for the d of every
// odd n whose 3^n fits; the identity holds for that d and for no neighbour.
TEST(TraceArithmeticTest, ThirtyTimesTheExponentModuloTheGroupOrder) {
  for (int n = 5; n <= 39; n += 2) {
    std::uint64_t order = 1, t = 0, power = 1;
    for (int k = 0; k < n; ++k) order *= 3;
    --order;  // 3^n - 1 < 2^63
    const int terms = n % 4 == 1 ? (n - 1) / 4 : (n - 3) / 4;
    for (int k = 0; k < terms; ++k, power *= 81) t += power;
    const std::uint64_t d = n % 4 == 1 ? 1 + 116 * t : 10 + 828 * t;
    for (std::uint64_t e : {d - 1, d, d + 1}) {
      Digits digits;
      for (std::uint64_t v = e; v > 0; v /= 3) digits.push_back(static_cast<std::uint8_t>(v % 3));
      const Digits got = gf3mq::thirty_times_mod(digits, n);
      std::uint64_t value = 0, expected = 0;
      for (std::size_t i = got.size(); i-- > 0;) value = value * 3 + got[i];
      for (int k = 0; k < 30; ++k) expected = (expected + e % order) % order;  // 30 e mod (3^n - 1)
      EXPECT_EQ(value, expected) << n;
      EXPECT_EQ(value == 1 + order / 2, e == d) << n;
    }
  }
}

}  // namespace
