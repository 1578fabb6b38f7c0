#include "attack/recover.h"

#include <algorithm>
#include <random>

#include "linalg/gf3_rows.h"
#include "linalg/packed_echelon.h"
#include "linalg/packed_rows.h"

namespace gf3mq {

namespace {

// Lines and planes of solutions are tried point by point; more directions
// than this are the vanishing relations of X = 0.
constexpr std::size_t kMostDirections = 8;

}  // namespace

RelationsAtCiphertext relations_at(const Relations& r, const std::uint8_t* c) {
  const std::size_t n = r.n;
  PackedMatrix cp(1, n);
  RelationsAtCiphertext system{PackedMatrix(r.count(), n), std::vector<std::uint8_t>(r.count())};
  cp.set_row(0, c, n);
  for (std::size_t k = 0; k < r.count(); ++k) {
    for (std::size_t u = 0; u < n; ++u)
      system.m.set(k, u,
                   packed_dot(r.a[k].ones(u), r.a[k].twos(u), cp.ones(0), cp.twos(0), cp.words()) + r.b.get(k, u));
    const unsigned constant = packed_dot(r.g.ones(k), r.g.twos(k), cp.ones(0), cp.twos(0), cp.words()) + r.d[k];
    system.constant[k] = static_cast<std::uint8_t>(constant % 3);
  }
  return system;
}

bool solutions_of(const RelationsAtCiphertext& system, std::vector<std::uint8_t>& particular,
                  PackedMatrix& directions) {
  std::vector<std::uint8_t> minus_constant(system.constant.size());
  scale_row(minus_constant.data(), system.constant.data(), 2, minus_constant.size());
  return solve(system.m, minus_constant, particular, &directions);
}

Plaintexts points_of(const std::vector<std::uint8_t>& particular, const PackedMatrix& line) {
  std::size_t count = 1;
  for (std::size_t i = 0; i < line.rows(); ++i) count *= 3;
  Plaintexts points(count, std::vector<std::uint8_t>(particular.size()));
  for (std::size_t p = 0; p < count; ++p)
    for (std::size_t u = 0; u < particular.size(); ++u) {
      unsigned v = particular[u];
      for (std::size_t i = 0, digits = p; i < line.rows(); ++i, digits /= 3) v += digits % 3 * line.get(i, u);
      points[p][u] = static_cast<std::uint8_t>(v % 3);
    }
  return points;
}

bool encrypts_to(const PublicForms& forms, const std::vector<std::uint8_t>& x, const std::uint8_t* c) {
  if (!std::all_of(x.begin(), x.end(), [](std::uint8_t e) { return e != 0; })) return false;
  const std::vector<std::uint8_t> again = forms.encrypt(x.data());
  return std::equal(again.begin(), again.end(), c);
}

Plaintexts PlaintextRecovery::recover(const std::uint8_t* c) {
  std::vector<std::uint8_t> particular;
  PackedMatrix line;
  if (!solutions_of(relations_at(r_, c), particular, line)) return {};
  const Plaintexts points = line.rows() > kMostDirections ? Plaintexts{central_zero()} : points_of(particular, line);
  Plaintexts found;
  for (const std::vector<std::uint8_t>& x : points)
    if (found.size() < kMostPlaintexts && !x.empty() && encrypts_to(forms_, x, c)) found.push_back(x);
  return found;
}

const std::vector<std::uint8_t>& PlaintextRecovery::central_zero() {
  if (zero_) return *zero_;
  constexpr int kDraws = 16;
  std::mt19937 rng(30);  // the same points on every run
  Plaintexts first;      // the points of the first line
  std::vector<std::uint8_t> x(r_.n), particular;
  for (int draw = 0; draw < kDraws; ++draw) {
    for (std::uint8_t& e : x) e = static_cast<std::uint8_t>(1 + rng() % 2);
    PackedMatrix line;
    if (!solutions_of(relations_at(r_, forms_.encrypt(x.data()).data()), particular, line) || line.rows() != 1)
      continue;
    const Plaintexts points = points_of(particular, line);
    if (first.empty()) {
      first = points;
      continue;
    }
    Plaintexts common;
    for (const std::vector<std::uint8_t>& p : points)
      if (std::find(first.begin(), first.end(), p) != first.end()) common.push_back(p);
    if (common.size() == 1) return *(zero_ = common.front());
  }
  return *(zero_ = std::vector<std::uint8_t>{});
}

Plaintexts search_plaintexts(const PublicForms& forms, const std::uint8_t* c, std::uint64_t* tried) {
  const std::size_t n = forms.n();
  Plaintexts found;
  std::uint64_t bits = 0;
  std::vector<std::uint8_t> candidate(n);
  for (; n <= kLargestSearch && bits < (std::uint64_t{1} << n) && found.size() < kMostPlaintexts; ++bits) {
    for (std::size_t u = 0; u < n; ++u) candidate[u] = static_cast<std::uint8_t>(1 + ((bits >> u) & 1u));
    if (encrypts_to(forms, candidate, c)) found.push_back(candidate);
  }
  if (tried != nullptr) *tried = bits;
  return found;
}

}  // namespace gf3mq
