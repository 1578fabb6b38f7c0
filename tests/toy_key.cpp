#include "tests/toy_key.h"

#include <random>

namespace gf3mq::test {

namespace {

using Poly = std::vector<std::uint8_t>;

// a * b mod f, f given by x^n = -(f_0 + ... + f_(n-1) x^(n-1)).
Poly multiply(const Poly& a, const Poly& b, const Poly& f) {
  const std::size_t n = f.size();
  std::vector<unsigned> p(2 * n - 1, 0);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j) p[i + j] += a[i] * b[j];
  for (std::size_t e = 2 * n - 2; e >= n; --e) {
    const unsigned c = p[e] % 3;
    for (std::size_t i = 0; i < n; ++i) p[e - n + i] += 3 * 3 - c * f[i];
  }
  Poly r(n);
  for (std::size_t i = 0; i < n; ++i) r[i] = static_cast<std::uint8_t>(p[i] % 3);
  return r;
}

Poly power(Poly a, unsigned long long k, const Poly& f) {
  Poly r(f.size(), 0);
  r[0] = 1;
  for (; k != 0; k >>= 1) {
    if (k & 1) r = multiply(r, a, f);
    a = multiply(a, a, f);
  }
  return r;
}

// For n prime: irreducible exactly when x^(3^n) = x mod f and f has no root.
bool irreducible(const Poly& f) {
  const std::size_t n = f.size();
  for (unsigned a = 0; a < 3; ++a) {
    unsigned value = 1, power_of_a = 1;  // x^n
    for (std::size_t i = 0; i < n; ++i) power_of_a = power_of_a * a % 3;
    value = power_of_a;
    for (std::size_t i = 0, ai = 1; i < n; ++i, ai = ai * a % 3) value += f[i] * ai;
    if (value % 3 == 0) return false;
  }
  Poly x(n, 0), y(n, 0);
  x[1] = y[1] = 1;
  for (std::size_t i = 0; i < n; ++i) y = power(y, 3, f);
  return y == x;
}

std::vector<std::uint8_t> apply(const std::vector<std::uint8_t>& M, const std::vector<std::uint8_t>& x,
                                const std::vector<std::uint8_t>& v) {
  const std::size_t n = v.size();
  std::vector<std::uint8_t> y(n);
  for (std::size_t i = 0; i < n; ++i) {
    unsigned s = v[i];
    for (std::size_t j = 0; j < n; ++j) s += M[i * n + j] * x[j];
    y[i] = static_cast<std::uint8_t>(s % 3);
  }
  return y;
}

bool invertible(std::vector<std::uint8_t> m, std::size_t n) {
  for (std::size_t c = 0; c < n; ++c) {
    std::size_t p = c;
    while (p < n && m[p * n + c] == 0) ++p;
    if (p == n) return false;
    for (std::size_t k = 0; k < n; ++k) std::swap(m[p * n + k], m[c * n + k]);
    for (std::size_t r = c + 1; r < n; ++r) {
      const unsigned factor = m[r * n + c] * m[c * n + c] % 3;
      for (std::size_t k = 0; k < n; ++k)
        m[r * n + k] = static_cast<std::uint8_t>((m[r * n + k] + 9 - factor * m[c * n + k]) % 3);
    }
  }
  return true;
}

}  // namespace

std::vector<std::uint8_t> toy_public_map(const ToyKey& key, const std::vector<std::uint8_t>& x) {
  return apply(key.mat_A, power(apply(key.mat_B, x, key.V2), 30, key.f), key.V1);
}

ToyKey make_toy_key(std::size_t n, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  ToyKey key;
  key.n = n;
  do {
    key.f.assign(n, 0);
    for (auto& c : key.f) c = static_cast<std::uint8_t>(rng() % 3);
  } while (!irreducible(key.f));
  for (auto* M : {&key.mat_A, &key.mat_B}) {
    do {
      M->assign(n * n, 0);
      for (auto& e : *M) e = static_cast<std::uint8_t>(rng() % 3);
    } while (!invertible(*M, n));
  }
  key.V1.resize(n);
  key.V2.resize(n);
  for (auto* v : {&key.V1, &key.V2})
    for (auto& e : *v) e = static_cast<std::uint8_t>(rng() % 3);
  // P = c + sum L_k x_k + sum D_k x_k^2 + sum over k < r of Q_kr x_k x_r.
  auto at = [&](std::vector<std::pair<std::size_t, std::uint8_t>> entries) {
    std::vector<std::uint8_t> x(n, 0);
    for (auto [i, v] : entries) x[i] = v;
    return toy_public_map(key, x);
  };
  const std::vector<std::uint8_t> constant = at({});
  std::vector<std::vector<std::uint8_t>> once(n), twice(n);
  for (std::size_t k = 0; k < n; ++k) {
    once[k] = at({{k, 1}});
    twice[k] = at({{k, 2}});
  }
  const std::size_t side = n + 1;
  key.stored.assign(n * side * side, 0);
  key.sk = constant;
  for (std::size_t k = 0; k < n; ++k) {
    for (std::size_t i = 0; i < n; ++i) {
      const unsigned linear = (twice[k][i] + 3 - once[k][i]) % 3;  // (c + 2L + D) - (c + L + D)
      const unsigned square = (once[k][i] + 6 - constant[i] - linear) % 3;
      key.stored[i * side * side + n * side + k] = static_cast<std::uint8_t>(linear);
      key.sk[i] = static_cast<std::uint8_t>((key.sk[i] + square) % 3);
    }
    for (std::size_t r = k + 1; r < n; ++r) {
      const std::vector<std::uint8_t> both = at({{k, 1}, {r, 1}});
      for (std::size_t i = 0; i < n; ++i)
        key.stored[i * side * side + r * side + k] =
            static_cast<std::uint8_t>((both[i] + 6 - once[k][i] - once[r][i] + constant[i]) % 3);
    }
  }
  return key;
}

std::vector<std::uint8_t> monomial_forms(std::size_t n, std::size_t indices, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::vector<std::uint8_t> A;
  do {
    A.assign(n * n, 0);
    for (auto& e : A) e = static_cast<std::uint8_t>(rng() % 3);
  } while (!invertible(A, n));
  const std::size_t side = n + 1;
  std::vector<std::uint8_t> stored(n * side * side, 0);
  std::size_t j = 0;
  for (std::size_t b = 1; b < indices && j < n; ++b)
    for (std::size_t a = 0; a < b && j < n; ++a, ++j)
      for (std::size_t i = 0; i < n; ++i) stored[i * side * side + b * side + a] = A[i * n + j];
  return stored;
}

}  // namespace gf3mq::test
