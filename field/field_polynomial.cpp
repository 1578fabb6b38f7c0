#include "field/field_polynomial.h"

#include <algorithm>

#include "field/field.h"
#include "field/sizes.h"
#include "linalg/gf3_rows.h"

namespace gf3mq {

namespace {

constexpr int kFrobeniusStep = 27;

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

// Rabin's test, with the field's arithmetic mod f.
bool irreducible_in(const Polynomial& f, const Field& field) {
  for (unsigned a = 0; a < 3; ++a)
    if (evaluate(f, a) == 0) return false;
  const int n = f.degree();
  std::vector<int> wanted;  // the k whose x^(3^k) is looked at
  for (int p : prime_factors(n))
    if (p < n) wanted.push_back(n / p);
  Element x = field.zero();
  x[1] = 1;
  Element y = x;
  for (int k = 1; k <= n; ++k) {
    y = field.cube(y);
    if (std::find(wanted.begin(), wanted.end(), k) == wanted.end()) continue;
    std::vector<std::uint8_t> y_minus_x(y.begin(), y.end());
    y_minus_x[1] = static_cast<std::uint8_t>((y_minus_x[1] + 2) % 3);
    if (!coprime(f.coef, y_minus_x)) return false;
  }
  return y == x;
}

}  // namespace

std::string format_polynomial(const Polynomial& f) {
  std::string text;
  for (int i = f.degree(); i >= 0; --i) {
    const int c = f.coef[static_cast<std::size_t>(i)];
    if (c == 0) continue;
    if (!text.empty()) text += " + ";
    if (i == 0) {
      text += std::to_string(c);
      continue;
    }
    if (c == 2) text += "2*";
    text += i == 1 ? "x" : "x^" + std::to_string(i);
  }
  return text.empty() ? "0" : text;
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
  for (int c = 0; c < n; ++c)
    row0[c] = static_cast<std::uint8_t>((3 - f.coef[static_cast<std::size_t>(c)]) % 3);  // x^n = -g
  const std::size_t width = static_cast<std::size_t>(n);
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
  static_assert(kFrobeniusStep == 27);
  return table;
}

bool is_irreducible(const Polynomial& f) { return is_irreducible(f, build_reduction_table(f)); }

bool is_irreducible(const Polynomial& f, const Mat_ZZ_p& reduction) { return irreducible_in(f, Field(reduction)); }

Polynomial default_polynomial(int n, const std::function<void(double)>& progress) {
  Polynomial f{std::vector<std::uint8_t>(static_cast<std::size_t>(n) + 1, 0)};
  f.coef[static_cast<std::size_t>(n)] = 1;
  if (n == kDefaultDegree) {
    f.coef[22] = 2;
    f.coef[0] = 1;
    return f;
  }
  // Only the sparse terms are set; a candidate's field needs no table.
  auto irreducible = [&](const Polynomial& candidate) {
    for (unsigned a = 0; a < 3; ++a)
      if (evaluate(candidate, a) == 0) return false;  // most are out at once
    return is_irreducible(candidate);
  };
  const double trinomials = 4.0 * (n - 1);
  for (int k = 1; k < n; ++k)
    for (std::uint8_t a = 1; a <= 2; ++a)
      for (std::uint8_t b = 1; b <= 2; ++b) {
        Polynomial candidate = f;
        candidate.coef[static_cast<std::size_t>(k)] = a;
        candidate.coef[0] = b;
        if (irreducible(candidate)) return candidate;
        if (progress) progress(0.5 * (4.0 * (k - 1) + 2 * (a - 1) + b) / trinomials);
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
            if (irreducible(candidate)) return candidate;
            if (progress) progress(0.5 + 0.5 * ++tried / quadrinomials);
          }
  return Polynomial{};  // none: not seen for any odd n up to 1021
}

}  // namespace gf3mq
