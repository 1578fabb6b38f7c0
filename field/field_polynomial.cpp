#include "field/field_polynomial.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>
#include <string>

#include "field/field.h"
#include "field/field_reducer.h"
#include "field/sizes.h"
#include "linalg/gf3_rows.h"

namespace gf3mq {

namespace {

std::string trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

bool parse_number(const std::string& s, long& value) {
  if (s.empty() || s.size() > 6 || !std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); }))
    return false;
  value = std::stol(s);
  return true;
}

// One term: "c*x^k", "x^k", "c*x", "x", "c" (spaces allowed around * and ^).
bool parse_term(std::string term, long& coefficient, long& power) {
  term.erase(std::remove_if(term.begin(), term.end(), [](char c) { return c == ' ' || c == '\t'; }), term.end());
  coefficient = 1;
  power = 0;
  const auto x = term.find('x');
  if (x == std::string::npos) return parse_number(term, coefficient);
  const std::string before = term.substr(0, x), after = term.substr(x + 1);
  if (!before.empty()) {
    if (before.back() != '*' || !parse_number(before.substr(0, before.size() - 1), coefficient)) return false;
  }
  if (after.empty()) {
    power = 1;
    return true;
  }
  return after[0] == '^' && parse_number(after.substr(1), power);
}

constexpr const char* kPolynomialSearchPhase = "searching for an irreducible f";

int degree_of(const std::vector<std::uint8_t>& p) {
  int d = static_cast<int>(p.size()) - 1;
  while (d >= 0 && p[static_cast<std::size_t>(d)] == 0) --d;
  return d;
}

// a mod b over GF(3), b not zero (1 and 2 are their own inverses).
std::vector<std::uint8_t> remainder(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
  const int db = degree_of(b);
  const unsigned lead = b[static_cast<std::size_t>(db)];
  for (int da = degree_of(a); da >= db; da = degree_of(a)) {
    const unsigned c = a[static_cast<std::size_t>(da)] * lead % 3;
    for (int i = 0; i <= db; ++i) {
      auto& e = a[static_cast<std::size_t>(da - db + i)];
      e = static_cast<std::uint8_t>((e + 9 - c * b[static_cast<std::size_t>(i)]) % 3);
    }
  }
  return a;
}

// Whether gcd(a, b) = 1.
bool coprime(std::vector<std::uint8_t> a, std::vector<std::uint8_t> b) {
  while (degree_of(b) >= 0) {
    std::vector<std::uint8_t> r = remainder(a, b);
    a = std::move(b);
    b = std::move(r);
  }
  return degree_of(a) == 0;
}

std::vector<int> prime_factors(int n) {
  std::vector<int> primes;
  for (int p = 2; p * p <= n; ++p) {
    if (n % p != 0) continue;
    primes.push_back(p);
    while (n % p == 0) n /= p;
  }
  if (n > 1) primes.push_back(n);
  return primes;
}

// Whether f has a factor whose degree divides d: gcd(f, x^(3^d) - x) != 1,
// taken on f mod (x^(3^d) - x), where x^e = x^(1 + (e - 1) mod (3^d - 1))
// for e >= 1, so that the gcd costs (3^d)^2 whatever the degree of f.
bool has_factor_of_degree_dividing(const Polynomial& f, int d) {
  int q = 1;
  for (int i = 0; i < d; ++i) q *= 3;
  std::vector<std::uint8_t> folded(static_cast<std::size_t>(q), 0), field_law(static_cast<std::size_t>(q) + 1, 0);
  folded[0] = f.coef[0];
  for (int e = 1; e <= f.degree(); ++e) {
    auto& c = folded[static_cast<std::size_t>(1 + (e - 1) % (q - 1))];
    c = static_cast<std::uint8_t>((c + f.coef[static_cast<std::size_t>(e)]) % 3);
  }
  field_law[static_cast<std::size_t>(q)] = 1;  // x^q - x
  field_law[1] = 2;
  return !coprime(std::move(field_law), std::move(folded));
}

// The degrees d whose factors has_factor_of_degree_dividing looks for before
// the whole test: most reducible candidates have a factor of degree at most
// 5, and the gcd at 3^5 costs far less than the n cubes after it.
constexpr int kSmallFactorDegree = 5;

// Rabin's test, with the field's arithmetic mod f, after the cheap looks for
// a root and for a small factor.
bool irreducible_in(const Polynomial& f, const Field& field) {
  for (unsigned a = 0; a < 3; ++a)
    if (evaluate(f, a) == 0) return false;
  const int n = f.degree();
  for (int d = 2; d <= kSmallFactorDegree && d < n; ++d)
    if (has_factor_of_degree_dividing(f, d)) return false;
  std::vector<int> wanted;  // the k whose x^(3^k) is looked at
  for (int p : prime_factors(n))
    if (p < n) wanted.push_back(n / p);
  Element x = field.zero();
  x[1] = 1;
  Element y = x;
  std::vector<std::vector<std::uint8_t>> minus_x;  // x^(3^k) - x at each wanted k
  for (int k = 1; k <= n; ++k) {
    field.cube(y.data(), y.data());  // in place: no element made per cube
    if (std::find(wanted.begin(), wanted.end(), k) == wanted.end()) continue;
    minus_x.emplace_back(y.begin(), y.end());
    minus_x.back()[1] = static_cast<std::uint8_t>((minus_x.back()[1] + 2) % 3);
  }
  if (y != x) return false;  // the gcds, n^2 each, only for the few that pass
  return std::all_of(minus_x.begin(), minus_x.end(), [&](const auto& h) { return coprime(f.coef, h); });
}

// x^n f(1/x) / f(0), monic (1 and 2 are their own inverses): irreducible
// exactly when f is, for f(0) != 0.
Polynomial reciprocal(const Polynomial& f) {
  const int n = f.degree();
  Polynomial r{std::vector<std::uint8_t>(f.coef.size(), 0)};
  for (int i = 0; i <= n; ++i)
    r.coef[static_cast<std::size_t>(i)] =
        static_cast<std::uint8_t>(f.coef[static_cast<std::size_t>(n - i)] * f.coef[0] % 3);
  return r;
}

// g = x^n mod f = -(f - x^n) in its sparse form, if it has one.
std::optional<SparseForm> sparse_g(const Polynomial& f) {
  std::vector<std::uint8_t> g(f.coef.begin(), f.coef.end() - 1);
  for (auto& c : g) c = static_cast<std::uint8_t>((3 - c) % 3);
  return sparse_form_of(g.data(), f.degree());
}

// Rabin's test on the sparse arithmetic mod f or mod its reciprocal, whichever
// has a sparse g (a trinomial x^n + a x^k + b with k > n / 2 has x^(n - k)
// in its reciprocal): no table is built. None when neither is sparse.
std::optional<bool> sparse_test(const Polynomial& f) {
  if (f.coef[0] == 0) return std::nullopt;
  for (const Polynomial& h : {f, reciprocal(f)})
    if (const std::optional<SparseForm> g = sparse_g(h))
      return irreducible_in(h, Field(std::make_unique<SparseReducer>(*g, h.degree())));
  return std::nullopt;
}

}  // namespace

std::string polynomial_text(const std::uint8_t* a, std::size_t n, const char* variable, PolynomialForm form) {
  std::string text;
  for (std::size_t i = n; i-- > 0;) {
    if (a[i] == 0) continue;
    if (!text.empty()) text += " + ";
    if (a[i] != 1 || i == 0) text += static_cast<char>('0' + a[i]);
    if (a[i] != 1 && i >= 1 && form == PolynomialForm::gp) text += '*';
    if (i >= 1) text += variable;
    if (i >= 2) text += '^' + std::to_string(i);
  }
  return text.empty() ? "0" : text;
}

std::string format_polynomial(const Polynomial& f) {
  return polynomial_text(f.coef.data(), f.coef.size(), "x", PolynomialForm::gp);
}

Polynomial polynomial_of_table(const Mat_ZZ_p& reduction) {
  const int n = reduction.num_cols();
  Polynomial f{std::vector<std::uint8_t>(static_cast<std::size_t>(n) + 1, 0)};
  const std::uint8_t* row0 = reduction.row(0);
  for (int c = 0; c < n; ++c) f.coef[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>((3 - row0[c] % 3) % 3);
  f.coef[static_cast<std::size_t>(n)] = 1;
  return f;
}

unsigned evaluate(const Polynomial& f, unsigned a) {
  unsigned value = 0;
  for (int i = f.degree(); i >= 0; --i) value = (value * a + f.coef[static_cast<std::size_t>(i)]) % 3;
  return value;
}

Mat_ZZ_p build_reduction_table(const Polynomial& f) {
  const int n = f.degree();
  Mat_ZZ_p table(2 * n - 2, n);
  std::uint8_t* row0 = table.row(0);
  const std::size_t width = static_cast<std::size_t>(n);
  scale_row(row0, f.coef.data(), 2, width);  // x^n = -(f - x^n)
  for (int r = 1; r < 2 * n - 2; ++r) {
    // x * row r - 1: shifted up, its x^n folded back with row 0.
    std::uint8_t* row = table.row(r);
    const std::uint8_t* before = table.row(r - 1);
    row[0] = 0;
    std::copy_n(before, width - 1, row + 1);
    add_scaled_row(row, row0, before[width - 1], width);
  }
  return table;
}

Mat_ZZ_p build_frobenius_table(const Mat_ZZ_p& reduction) {
  const Field field(reduction);
  const int n = field.n();
  Mat_ZZ_p table(n, n);
  for (int k = 0; k < n; ++k) {
    Element power = field.zero();
    power[static_cast<std::size_t>(k)] = 1;
    power = field.frobenius(power, 3);  // (x^k)^27
    std::copy(power.begin(), power.end(), table.row(k));
  }
  return table;
}

std::string sizes_that_exist() {
  return "the sizes are the odd n from " + std::to_string(kSmallestDegree) + " to " + std::to_string(kLargestDegree);
}

bool parse_polynomial(const std::string& text, Polynomial& f, FileProblem* problem) {
  f = Polynomial{};
  std::vector<int> sums(kLargestDegree + 1, 0);
  std::size_t start = 0;
  while (start <= text.size()) {
    const auto plus = text.find('+', start);
    const std::string term = trim(text.substr(start, plus == std::string::npos ? std::string::npos : plus - start));
    long coefficient = 0, power = 0;
    if (term.empty() || !parse_term(term, coefficient, power))
      return report_problem(
          problem, "",
          "cannot read the term \"" + term + "\" of \"" + text + "\": write terms c*x^k, x^k, c*x, x or c joined by +");
    if (coefficient > 2)
      return report_problem(problem, "",
                            "coefficient " + std::to_string(coefficient) + " in \"" + term + "\" is not 0, 1 or 2");
    if (power > kLargestDegree)
      return report_problem(
          problem, "",
          "the term \"" + term + "\" has a power above " + std::to_string(kLargestDegree) + "; " + sizes_that_exist());
    sums[static_cast<std::size_t>(power)] += static_cast<int>(coefficient);
    if (plus == std::string::npos) break;
    start = plus + 1;
  }
  int degree = kLargestDegree;
  while (degree > 0 && sums[static_cast<std::size_t>(degree)] % 3 == 0) --degree;
  if (!degree_exists(degree))
    return report_problem(problem, "",
                          "\"" + text + "\" is of degree " + std::to_string(degree) + "; " + sizes_that_exist());
  f.coef.resize(static_cast<std::size_t>(degree) + 1);
  for (int i = 0; i <= degree; ++i) f.coef[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(sums[i] % 3);
  if (f.coef.back() != 1)
    return report_problem(
        problem, "", "\"" + text + "\" is not monic: the coefficient of x^" + std::to_string(degree) + " must be 1");
  return true;
}

bool is_irreducible(const Polynomial& f) {
  if (const std::optional<bool> irreducible = sparse_test(f)) return *irreducible;
  return is_irreducible(f, build_reduction_table(f));
}

bool is_irreducible(const Polynomial& f, const Mat_ZZ_p& reduction) { return irreducible_in(f, Field(reduction)); }

Polynomial default_polynomial(int n, const PhaseProgress& progress) {
  Polynomial f{std::vector<std::uint8_t>(static_cast<std::size_t>(n) + 1, 0)};
  f.coef[static_cast<std::size_t>(n)] = 1;
  if (n == kDefaultSizes.n) {
    f.coef[22] = 2;
    f.coef[0] = 1;
    return f;
  }
  // Only the sparse terms are set; a candidate's field needs no table.
  const double trinomials = 4.0 * (n - 1);
  for (int k = 1; k < n; ++k)
    for (std::uint8_t a = 1; a <= 2; ++a)
      for (std::uint8_t b = 1; b <= 2; ++b) {
        Polynomial candidate = f;
        candidate.coef[static_cast<std::size_t>(k)] = a;
        candidate.coef[0] = b;
        if (is_irreducible(candidate)) return candidate;
        report_progress(progress, kPolynomialSearchPhase, 0.5 * (4.0 * (k - 1) + 2 * (a - 1) + b) / trinomials);
      }
  const double quadrinomials = 8.0 * (n - 1) * (n - 2) / 2;
  double tried = 0;
  for (int k = 2; k < n; ++k)
    for (int j = 1; j < k; ++j)
      for (std::uint8_t a = 1; a <= 2; ++a)
        for (std::uint8_t b = 1; b <= 2; ++b)
          for (std::uint8_t c = 1; c <= 2; ++c) {
            Polynomial candidate = f;
            candidate.coef[static_cast<std::size_t>(k)] = a;
            candidate.coef[static_cast<std::size_t>(j)] = b;
            candidate.coef[0] = c;
            if (is_irreducible(candidate)) return candidate;
            report_progress(progress, kPolynomialSearchPhase, 0.5 + 0.5 * ++tried / quadrinomials);
          }
  return Polynomial{};  // none: not seen for any odd n up to 1021
}

}  // namespace gf3mq
