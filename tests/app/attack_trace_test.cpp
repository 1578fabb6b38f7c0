// gf3mq-attack --trace on seeded keys at n = 11 and 31: every traced value
// recomputed from the key files apart from the attack's code (the relations
// against the identity U^81 Y - U Y^9 of the secret maps, and for each
// ciphertext its equations in x, their rank, the line of three points, x0 and
// the verdict); standard output unchanged. The relations as gp input pass
// their own check at 11, 31 and 257, and fail it with one digit changed. At
// n = 7, the search and its count.
#include <gtest/gtest.h>

#include <map>
#include <numeric>
#include <random>
#include <regex>
#include <sstream>

#include "linalg/packed_echelon.h"
#include "scheme/key_files.h"
#include "tests/clear_field.h"
#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;
using Digits = std::vector<std::uint8_t>;

// sum over i, j from 0 to n of w(i, j) x_i c_j, with x_0 = c_0 = 1: a, b, g and d in one.
struct Bilinear {
  std::size_t n = 0;
  Digits w;  // w(i, j) at i (n + 1) + j
  unsigned at(const Digits& x, const Digits& c) const {
    unsigned v = 0;
    for (std::size_t i = 0; i <= n; ++i)
      for (std::size_t j = 0; j <= n; ++j) v += w[i * (n + 1) + j] * (i > 0 ? x[i - 1] : 1) * (j > 0 ? c[j - 1] : 1);
    return v % 3;
  }
};

// "2*x3*c5 + x1 + c2 + 1 = 0" read back.
Bilinear bilinear_of(const std::string& text, std::size_t n) {
  Bilinear r{n, Digits((n + 1) * (n + 1))};
  std::istringstream terms(std::regex_replace(text.substr(0, text.rfind(" = 0")), std::regex(" \\+ "), " "));
  for (std::string term; terms >> term;) {
    const bool twice = term.rfind("2*", 0) == 0;
    std::size_t x = 0, c = 0;
    std::istringstream factors(term.substr(twice ? 2 : 0));
    for (std::string f; std::getline(factors, f, '*');)
      if (f[0] == 'x' || f[0] == 'c') (f[0] == 'x' ? x : c) = std::stoul(f.substr(1));
    r.w[x * (n + 1) + c] = static_cast<std::uint8_t>(x + c == 0 ? std::stoul(term) : twice ? 2 : 1);
  }
  return r;
}

std::size_t rank_of(gf3mq::PackedMatrix m) { return gf3mq::reduce_to_echelon(m).size(); }

// The lines of a trace that begin with prefix, what follows it.
std::vector<std::string> lines_after(const std::string& text, const std::string& prefix) {
  std::vector<std::string> found;
  for (const std::string& line : lines_of(text))
    if (line.rfind(prefix, 0) == 0) found.push_back(line.substr(prefix.size()));
  return found;
}

Digits digits_after(const std::string& text, const std::string& label) {
  const std::vector<std::string> found = lines_after(text, label + " = [");
  Digits d;
  if (found.empty()) return d;
  for (char ch : found[0].substr(0, found[0].find(']')))
    if (ch != ' ') d.push_back(static_cast<std::uint8_t>(ch - '0'));
  return d;
}

class AttackTraceTest : public testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    n = static_cast<std::size_t>(GetParam());
    const std::string degree = std::to_string(n);
    ASSERT_EQ(
        run_command(program("gf3mq-tables") + " --degree " + degree + " && " + program("gf3mq-keygen") +
                    " --seed trace" + degree + " --no-wait >/dev/null 2>&1 && mkdir public && cp 'new pk.txt' public/")
            .status,
        0);
    const gf3mq::Sizes sizes{GetParam()};
    for (const char* file : {gf3mq::kMatAFile, gf3mq::kMatBFile, gf3mq::kInvAFile, gf3mq::kInvBFile}) {
      Mat_ZZ_p& m = maps.emplace(file, Mat_ZZ_p(GetParam(), GetParam())).first->second;
      EXPECT_TRUE(
          gf3mq::read_key_file(sizes, file, m.data(), sizes.matrix_digits(), nullptr, gf3mq::kReductionTableFile));
    }
    for (Digits* v : {&v1, &v2}) {
      Vec_ZZ_p read(GetParam());
      EXPECT_TRUE(gf3mq::read_key_file(sizes, v == &v1 ? gf3mq::kV1File : gf3mq::kV2File, read.data(), sizes.elements(),
                                       nullptr, gf3mq::kReductionTableFile));
      v->assign(read.data(), read.data() + n);
    }
    field = clear_field_here(GetParam());
    for (char ch : read_file(gf3mq::kSecretKeyFile).substr(0, n)) sk.push_back(static_cast<std::uint8_t>(ch - '0'));
  }
  // m v + shift (shift may be empty), mod 3.
  Digits affine(const char* matrix, const Digits& v, const Digits& shift = {}) const {
    Digits out(n);
    for (std::size_t r = 0; r < n; ++r) {
      unsigned s = shift.empty() ? 0 : shift[r];
      for (std::size_t k = 0; k < n; ++k) s += maps.at(matrix).get(static_cast<int>(r), static_cast<int>(k)) * v[k];
      out[r] = static_cast<std::uint8_t>(s % 3);
    }
    return out;
  }
  static Digits plus(Digits a, const Digits& b, int sign = 1) {
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = static_cast<std::uint8_t>((3 + a[i] + sign * b[i]) % 3);
    return a;
  }
  // The ciphertext of x as the public key gives it over {1, 2}: mat_A X^30 + V1 - sk.
  Digits ciphertext(const Digits& x) const {
    const ClearField& f = field;
    const Digits X = affine(gf3mq::kMatBFile, x, v2), X3 = f.product(f.product(X, X), X);
    return plus(affine(gf3mq::kMatAFile, f.product(f.power(X, "1000"), X3), v1), sk, -1);
  }
  // Coordinates of U^81 Y - U Y^9, U = (mat_B x + V2)^3, Y = Inv_A (c + sk - V1).
  Digits identity(const Digits& x, const Digits& c) const {
    const ClearField& f = field;
    const Digits X = affine(gf3mq::kMatBFile, x, v2), U = f.product(f.product(X, X), X);
    const Digits Y = affine(gf3mq::kInvAFile, plus(plus(c, sk), v1, -1));
    return plus(f.product(f.power(U, "10000"), Y), f.product(U, f.power(Y, "100")), -1);
  }
  ScratchDir dir;
  std::size_t n = 0;
  std::map<std::string, Mat_ZZ_p> maps;
  Digits v1, v2, sk;
  ClearField field;
};

TEST_P(AttackTraceTest, EveryTracedValueIsRecomputedFromTheKeyFiles) {
  std::mt19937 rng(static_cast<std::uint32_t>(n));
  std::vector<Digits> plaintexts(3, Digits(n)), ciphertexts;
  std::string lines;
  for (Digits& x : plaintexts) {
    for (auto& e : x) e = static_cast<std::uint8_t>(1 + rng() % 2);
    ciphertexts.push_back(ciphertext(x));
  }
  const Digits x0 = affine(gf3mq::kInvBFile, plus(Digits(n), v2, -1));  // X = 0
  ciphertexts.push_back(plus(v1, sk, -1));                              // its ciphertext: Y = 0
  for (const Digits& c : ciphertexts) {
    for (std::uint8_t e : c) lines += static_cast<char>('0' + e);
    lines += '\n';
  }
  write_file("cipher.txt", lines);
  const CommandResult quiet = run_command(program("gf3mq-attack") + " -C public --both ../cipher.txt");
  const CommandResult run = run_command(program("gf3mq-attack") + " -C public --both --trace ../cipher.txt");
  EXPECT_EQ(run.out, quiet.out);
  EXPECT_EQ(run.status, quiet.status);
  // How the relations were found, and each relation against the identity:
  // the two spans are the same n dimensions at 2n + 20 random (x, c).
  std::smatch m;
  ASSERT_TRUE(std::regex_search(run.err, m, std::regex("S = \\{1, \\.\\.\\., (\\d+)\\} .*: (\\d+) pairs")));
  const std::size_t s = std::stoul(m[1]);
  EXPECT_EQ(std::stoul(m[2]), s * (s - 1) / 2);
  ASSERT_TRUE(std::regex_search(run.err, m,
                                std::regex("equations = (\\d+), unknowns = (\\d+) \\(s n\\), rank = "
                                           "(\\d+), kernel = (\\d+): (\\d+) relations")));
  EXPECT_EQ(std::stoul(m[2]), s * n);
  EXPECT_EQ(std::stoul(m[3]), s * n - n);
  EXPECT_EQ(std::stoul(m[4]), n);
  std::vector<Bilinear> relations;
  for (std::size_t k = 1; k <= n; ++k) {
    const std::vector<std::string> text = lines_after(run.err, "relation " + std::to_string(k) + ": ");
    ASSERT_EQ(text.size(), 1u) << k;
    relations.push_back(bilinear_of(text[0], n));
  }
  const std::size_t points = 2 * n + 20;
  gf3mq::PackedMatrix values(2 * n, points);
  for (std::size_t p = 0; p < points; ++p) {
    const Digits x = random_elements(rng, n), c = random_elements(rng, n), id = identity(x, c);
    for (std::size_t k = 0; k < n; ++k) {
      values.set(k, p, relations[k].at(x, c));
      values.set(n + k, p, id[k]);
    }
  }
  gf3mq::PackedMatrix traced(n, points), secret(n, points);
  std::copy_n(values.ones(0), 2 * values.words() * n, traced.ones(0));
  std::copy_n(values.ones(n), 2 * values.words() * n, secret.ones(0));
  EXPECT_EQ(rank_of(traced), n);
  EXPECT_EQ(rank_of(secret), n);
  EXPECT_EQ(rank_of(values), n);
  // gcd(80, 3^n - 1) = 2, from 3^n - 1 itself.
  std::uint64_t order = 1;
  for (std::size_t i = 0; i < n; ++i) order *= 3;
  ASSERT_TRUE(std::regex_search(run.err, m, std::regex("gcd\\(80, 3\\^\\d+ - 1\\) = gcd\\(80, (\\d+)\\) = (\\d+)")));
  EXPECT_EQ(std::stoul(m[1]), (order - 1) % 80);
  EXPECT_EQ(std::stoul(m[2]), std::gcd<std::uint64_t>(80, order - 1));
  // Each ciphertext: its equations in x, their rank, the three points, x0, the verdict.
  std::vector<std::string> blocks;
  for (std::size_t at = run.err.find("== recovery =="); at != std::string::npos;) {
    const std::size_t next = run.err.find("== recovery ==", at + 1);
    blocks.push_back(run.err.substr(at, next - at));
    at = next;
  }
  ASSERT_EQ(blocks.size(), ciphertexts.size()) << run.err;
  for (std::size_t line = 0; line < blocks.size(); ++line) {
    const std::string& b = blocks[line];
    const Digits& c = ciphertexts[line];
    EXPECT_EQ(digits_after(b, "ciphertext c"), c);
    gf3mq::PackedMatrix in_x(n, n);
    for (std::size_t k = 0; k < n; ++k) {
      const std::vector<std::string> text = lines_after(b, "equation " + std::to_string(k + 1) + ": ");
      ASSERT_EQ(text.size(), 1u);
      const Bilinear e = bilinear_of(text[0], n);  // relation k at c, in x alone
      const unsigned constant = relations[k].at(Digits(n), c);
      EXPECT_EQ(e.w[0], constant) << line << " " << k;
      for (std::size_t i = 0; i < n; ++i) {
        Digits unit(n);
        unit[i] = 1;
        in_x.set(k, i, relations[k].at(unit, c) + 3 - constant);
        EXPECT_EQ(e.w[(i + 1) * (n + 1)], in_x.get(k, i)) << line << " " << k << " " << i;
      }
    }
    const std::size_t rank = rank_of(in_x);
    EXPECT_NE(b.find("rank = " + std::to_string(rank)), std::string::npos) << b;
    EXPECT_EQ(digits_after(b, "x0 = -Inv_B V2, where X = 0 and the lines of every ciphertext meet"), x0);
    const auto encrypts_back = [&](const Digits& x) {
      return std::find(x.begin(), x.end(), 0) == x.end() && ciphertext(x) == c;
    };
    if (line == 3) {  // Y = 0: every relation vanishes, x0 is the one plaintext there can be
      EXPECT_EQ(rank, 0u);
      const std::string verdict = encrypts_back(x0) ? "the message is x0" : "no plaintext over {1, 2} encrypts back";
      EXPECT_NE(b.find(verdict), std::string::npos) << b;
      continue;
    }
    EXPECT_EQ(rank, n - 1);
    const Digits X = affine(gf3mq::kMatBFile, plaintexts[line], v2);
    const Digits other = affine(gf3mq::kInvBFile, plus(plus(Digits(n), X, -1), v2, -1));
    std::vector<Digits> traced_points, expected = {plaintexts[line], other, x0};
    std::vector<std::string> back;
    for (const char* label : {"point 1 = m0", "point 2 = m0 + t", "point 3 = m0 + 2t"}) {
      traced_points.push_back(digits_after(b, label));
      const std::string name = "point " + std::to_string(traced_points.size());
      const Digits& p = traced_points.back();
      if (encrypts_back(p)) back.push_back(name);
      const std::string said = std::find(p.begin(), p.end(), 0) != p.end() ? " has a 0 at place "
                               : encrypts_back(p)                          ? " is over {1, 2} and encrypts back"
                                                  : " is over {1, 2} but does not encrypt back";
      EXPECT_NE(b.find("\n" + name + said), std::string::npos) << b;
    }
    const std::size_t at_x0 =
        static_cast<std::size_t>(std::find(traced_points.begin(), traced_points.end(), x0) - traced_points.begin());
    EXPECT_NE(b.find("point " + std::to_string(at_x0 + 1) + " is x0"), std::string::npos) << b;
    EXPECT_TRUE(std::is_permutation(traced_points.begin(), traced_points.end(), expected.begin())) << b;
    ASSERT_FALSE(back.empty());  // the plaintext itself
    EXPECT_NE(b.find(back.size() == 1 ? "the message is " + back[0] : back[0] + " and " + back[1] + " encrypt back"),
              std::string::npos)
        << b;
  }
}

// The relations as PARI/GP input check themselves at pairs of the public key.
TEST_P(AttackTraceTest, TheRelationsAsGpInputPassTheirCheckAndFailItWithADigitChanged) {
  if (run_command("command -v gp").status != 0) GTEST_SKIP() << "gp (pari-gp) is not installed";
  const CommandResult run =
      run_command(program("gf3mq-attack") + " -C public --save-relations ../rel.gp --relations-format gp </dev/null");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run_command("timeout 600 gp -q rel.gp </dev/null").out.find("check passed: the " + std::to_string(n)),
            std::string::npos);
  std::string text = read_file("rel.gp");
  const std::size_t digit = text.find("{a[1] = [\"") + 10;
  text[digit] = static_cast<char>('0' + (text[digit] - '0' + 1) % 3);
  write_file("damaged.gp", text);
  const CommandResult damaged = run_command("timeout 600 gp -q damaged.gp </dev/null");
  EXPECT_NE(damaged.out.find("FAILED: relation 1 does not hold"), std::string::npos) << damaged.out;
  EXPECT_NE(damaged.out.find("check FAILED: 1 of the " + std::to_string(n)), std::string::npos) << damaged.out;
}

INSTANTIATE_TEST_SUITE_P(Sizes, AttackTraceTest, testing::Values(11, 31),
                         [](const auto& info) { return std::to_string(info.param); });

TEST(AttackTraceAt257Test, TheRelationsAsGpInputPassTheirCheck) {
  if (run_command("command -v gp").status != 0) GTEST_SKIP() << "gp (pari-gp) is not installed";
  ScratchDir dir;
  const CommandResult run = run_command(program("gf3mq-tables") + " && " + program("gf3mq-keygen") +
                                        " --seed trace257 --no-wait >/dev/null 2>&1 && " + program("gf3mq-attack") +
                                        " --save-relations rel.gp --relations-format gp </dev/null");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run_command("timeout 1200 gp -q rel.gp </dev/null").out.find("check passed: the 257 relations hold"),
            std::string::npos);
}

// Below n = 9 the plaintexts are searched for: the count is where the second
// was found, or all 2^7.
TEST(AttackTraceAt7Test, NoIndexSetServesAndTheSearchCountsWhatItTried) {
  ScratchDir dir;
  ASSERT_EQ(run_command(program("gf3mq-tables") + " --degree 7 && " + program("gf3mq-keygen") +
                        " --seed trace7 --no-wait >/dev/null 2>&1 && echo 1212121 | " + program("gf3mq-encrypt") +
                        " > cipher.txt")
                .status,
            0);
  const CommandResult run = run_command(program("gf3mq-attack") + " --both --trace cipher.txt");
  EXPECT_EQ(run.out, run_command(program("gf3mq-attack") + " --both cipher.txt").out);
  EXPECT_NE(run.err.find("at n = 7 no index set serves"), std::string::npos) << run.err;
  const Digits first = digits_after(run.err, "plaintext 1"), second = digits_after(run.err, "plaintext 2");
  EXPECT_TRUE(first == Digits({1, 2, 1, 2, 1, 2, 1}) || second == Digits({1, 2, 1, 2, 1, 2, 1})) << run.err;
  std::size_t tried = 128;
  if (!second.empty()) {
    tried = 1;
    for (std::size_t u = 0; u < 7; ++u) tried += static_cast<std::size_t>(second[u] - 1) << u;
  }
  EXPECT_NE(run.err.find("tried " + std::to_string(tried) + " plaintexts over {1, 2}: found " +
                         std::to_string(second.empty() ? 1 : 2) + " encrypting to c"),
            std::string::npos)
      << run.err;
}

}  // namespace
