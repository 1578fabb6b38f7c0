// Relations from the public forms: the set S, its basis of pairs, the
// equations in a_S, their kernel, and the rest of each relation.
#include <algorithm>

#include "attack/relations.h"
#include "linalg/packed_rows.h"

namespace gf3mq {

namespace {

// Elements [offset, offset + n) of row `row` of m (zero there before) from
// the first n elements of a packed vector.
void set_elements_at(PackedMatrix& m, std::size_t row, std::size_t offset, const std::uint64_t* ones, const std::uint64_t* twos,
           std::size_t n) {
  const std::size_t words = (n + 63) / 64;
  std::uint64_t* planes[2] = {m.ones(row), m.twos(row)};
  const std::uint64_t* sources[2] = {ones, twos};
  for (int p = 0; p < 2; ++p) {
    for (std::size_t w = 0; w < words; ++w) {
      std::uint64_t bits = sources[p][w];
      if ((w + 1) * 64 > n) bits &= (std::uint64_t{1} << (n - w * 64)) - 1;
      if (bits == 0) continue;
      const std::size_t at = offset + 64 * w, word = at / 64, shift = at % 64;
      planes[p][word] |= bits << shift;
      if (shift != 0 && (bits >> (64 - shift)) != 0) planes[p][word + 1] |= bits >> (64 - shift);
    }
  }
}

// Elements [offset, offset + n) of row `row` of m into row out_row of out.
void copy_elements(const PackedMatrix& m, std::size_t row, std::size_t offset, std::size_t n, PackedMatrix& out,
          std::size_t out_row) {
  for (std::size_t i = 0; i < n; ++i) out.set(out_row, i, m.get(row, offset + i));
}

// Sets larger than the first tried before the search gives up.
constexpr std::size_t kMaxEnlargements = 3;

std::size_t equations_for(std::size_t n, std::size_t s) {
  const std::size_t pairs = s * (s - 1) / 2;
  return (n - s) * (pairs - n) + s * (s - 1) * (s - 2) / 6;
}

// The smallest s whose pairs can span GF(3)^n and whose equations exceed
// the unknowns of a_S less the n of the kernel by a margin.
std::size_t first_set_size(std::size_t n) {
  std::size_t s = 2;
  while (s * (s - 1) / 2 < n || equations_for(n, s) < s * n - n + 8) ++s;
  return s;
}

struct Pair {
  std::size_t a, b;
};

// S = {0, ..., s - 1}: a basis of pairs whose q span GF(3)^n, the columns
// of Q^-1 (Q the matrix of their q), and w = q(p')^T Q^-1 of every other pair.
struct Plan {
  std::size_t s = 0;
  std::vector<Pair> basis, surplus;
  std::vector<int> basis_of;  // x * s + y -> index in basis, or -1
  PackedMatrix qinv_columns;  // row t: column t of Q^-1
  PackedMatrix w;             // row i: w of surplus[i], over the basis
};

bool make_plan(const PublicForms& f, std::size_t s, Plan& plan) {
  const std::size_t n = f.n();
  plan = Plan{};
  plan.s = s;
  plan.basis_of.assign(s * s, -1);
  // Pairs in order; a pair joins the basis when its q is independent of
  // those before it (forward elimination against the rows kept so far).
  PackedMatrix echelon(n, n);
  std::vector<std::size_t> pivots;
  PackedMatrix v(1, n);
  for (std::size_t b = 1; b < s; ++b) {
    for (std::size_t a = 0; a < b; ++a) {
      if (plan.basis.size() == n) {
        plan.surplus.push_back({a, b});
        continue;
      }
      std::copy_n(f.q_ones(a, b), v.words(), v.ones(0));
      std::copy_n(f.q_twos(a, b), v.words(), v.twos(0));
      for (std::size_t i = 0; i < pivots.size(); ++i)
        packed_add_multiple(v.ones(0), v.twos(0), echelon.ones(i), echelon.twos(i), 3 - v.get(0, pivots[i]) % 3,
                            v.words());
      std::size_t pivot = 0;
      while (pivot < n && v.get(0, pivot) == 0) ++pivot;
      if (pivot == n) {
        plan.surplus.push_back({a, b});
        continue;
      }
      if (v.get(0, pivot) == 2) std::swap_ranges(v.ones(0), v.twos(0), v.twos(0));
      std::copy_n(v.ones(0), 2 * v.words(), echelon.ones(pivots.size()));
      pivots.push_back(pivot);
      plan.basis_of[a * s + b] = plan.basis_of[b * s + a] = static_cast<int>(plan.basis.size());
      plan.basis.push_back({a, b});
    }
  }
  if (plan.basis.size() < n) return false;
  // Q^-1 from the echelon form of [Q | I].
  PackedMatrix augmented(n, 2 * n);
  for (std::size_t t = 0; t < n; ++t) {
    set_elements_at(augmented, t, 0, f.q_ones(plan.basis[t].a, plan.basis[t].b), f.q_twos(plan.basis[t].a, plan.basis[t].b), n);
    augmented.set(t, n + t, 1);
  }
  if (reduce_to_echelon(augmented).size() != n) return false;
  plan.qinv_columns = PackedMatrix(n, n);
  for (std::size_t j = 0; j < n; ++j)
    for (std::size_t t = 0; t < n; ++t) plan.qinv_columns.set(t, j, augmented.get(j, n + t));
  // w = q(p')^T Q^-1: w_t = q(p') . column t of Q^-1.
  plan.w = PackedMatrix(plan.surplus.size(), n);
  for (std::size_t i = 0; i < plan.surplus.size(); ++i) {
    const Pair p = plan.surplus[i];
    for (std::size_t t = 0; t < n; ++t) {
      const unsigned wt = packed_dot(f.q_ones(p.a, p.b), f.q_twos(p.a, p.b), plan.qinv_columns.ones(t),
                                     plan.qinv_columns.twos(t), plan.qinv_columns.words());
      plan.w.set(i, t, wt);
    }
  }
  return true;
}

// The equations in a_S: for each e outside S and surplus pair p',
//   r'(p') - sum over basis pairs p of w(p', p) r'(p) = 0,
// with r'((a, b)) = a_a . q(b, e) + a_b . q(a, e); then the triples in S.
PackedMatrix equations_of(const PublicForms& f, const Plan& plan, const PhaseProgress& progress) {
  const std::size_t n = f.n(), s = plan.s;
  PackedMatrix eqs(equations_for(n, s), s * n);
  PackedMatrix block(1, n);
  std::size_t row = 0;
  for (std::size_t e = s; e < n; ++e) {
    for (std::size_t i = 0; i < plan.surplus.size(); ++i, ++row) {
      const Pair p = plan.surplus[i];
      for (std::size_t x = 0; x < s; ++x) {
        std::fill_n(block.ones(0), 2 * block.words(), 0);
        for (std::size_t y = 0; y < s; ++y) {
          const int t = y == x ? -1 : plan.basis_of[x * s + y];
          if (t < 0) continue;
          const unsigned weight = plan.w.get(i, static_cast<std::size_t>(t));
          if (weight != 0)
            packed_add_multiple(block.ones(0), block.twos(0), f.q_ones(y, e), f.q_twos(y, e), 3 - weight, block.words());
        }
        if (x == p.a) packed_add(block.ones(0), block.twos(0), f.q_ones(p.b, e), f.q_twos(p.b, e), block.words());
        if (x == p.b) packed_add(block.ones(0), block.twos(0), f.q_ones(p.a, e), f.q_twos(p.a, e), block.words());
        set_elements_at(eqs, row, x * n, block.ones(0), block.twos(0), n);
      }
    }
    if (progress && e % 16 == 0) progress("equations", static_cast<double>(e - s) / static_cast<double>(n - s));
  }
  for (std::size_t c = 2; c < s; ++c)
    for (std::size_t b = 1; b < c; ++b)
      for (std::size_t a = 0; a < b; ++a, ++row) {
        set_elements_at(eqs, row, a * n, f.q_ones(b, c), f.q_twos(b, c), n);
        set_elements_at(eqs, row, b * n, f.q_ones(a, c), f.q_twos(a, c), n);
        set_elements_at(eqs, row, c * n, f.q_ones(a, b), f.q_twos(a, b), n);
      }
  return eqs;
}

// out = -(sum over t of r_t * column t of Q^-1): the solution of Q y = -r.
void apply_minus_qinv(const Plan& plan, const std::vector<unsigned>& r, std::uint64_t* ones, std::uint64_t* twos) {
  const std::size_t words = plan.qinv_columns.words();
  std::fill_n(ones, words, 0);
  std::fill_n(twos, words, 0);
  for (std::size_t t = 0; t < r.size(); ++t)
    if (r[t] % 3 != 0) packed_add_multiple(ones, twos, plan.qinv_columns.ones(t), plan.qinv_columns.twos(t), 3 - r[t] % 3, words);
}

// Relation k from its a_S (row k of the kernel).
void complete_relation(const PublicForms& f, const Plan& plan, const PackedMatrix& kernel, std::size_t k,
                       Relations& out) {
  const std::size_t n = f.n(), s = plan.s, words = f.words();
  PackedMatrix& a = out.a[k];
  for (std::size_t x = 0; x < s; ++x) copy_elements(kernel, k, x * n, n, a, x);
  auto dot = [&](std::size_t u, const std::uint64_t* v1, const std::uint64_t* v2) {
    return packed_dot(a.ones(u), a.twos(u), v1, v2, words);
  };
  std::vector<unsigned> r(n);
  for (std::size_t e = s; e < n; ++e) {  // Q a_e = -r'
    for (std::size_t t = 0; t < n; ++t) {
      const Pair p = plan.basis[t];
      r[t] = dot(p.a, f.q_ones(p.b, e), f.q_twos(p.b, e)) + dot(p.b, f.q_ones(p.a, e), f.q_twos(p.a, e));
    }
    apply_minus_qinv(plan, r, a.ones(e), a.twos(e));
  }
  for (std::size_t t = 0; t < n; ++t) {  // Q g = -(a_a . L(b) + a_b . L(a)) over the basis
    const Pair p = plan.basis[t];
    r[t] = dot(p.a, f.l_ones(p.b), f.l_twos(p.b)) + dot(p.b, f.l_ones(p.a), f.l_twos(p.a));
  }
  apply_minus_qinv(plan, r, out.g.ones(k), out.g.twos(k));
  unsigned d = 0;
  for (std::size_t x = 0; x < n; ++x) {
    unsigned bx = packed_dot(out.g.ones(k), out.g.twos(k), f.l_ones(x), f.l_twos(x), words);
    for (std::size_t u = 0; u < n; ++u)
      if (u != x) bx += dot(u, f.q_ones(u, x), f.q_twos(u, x));
    out.b.set(k, x, 3 - bx % 3);
    d += dot(x, f.l_ones(x), f.l_twos(x));
  }
  out.d[k] = static_cast<std::uint8_t>((3 - d % 3) % 3);
}

}  // namespace

bool relations_from_public_forms(const PublicForms& forms, Relations& out, const PhaseProgress& progress,
                                 RelationsReport* report) {
  const std::size_t n = forms.n();
  RelationsReport local;
  RelationsReport& r = report != nullptr ? *report : local;
  r = RelationsReport{};
  Plan plan;
  PackedMatrix kernel;
  bool spanned = false;  // some set's pairs spanned GF(3)^n
  const std::size_t first = first_set_size(n);
  for (std::size_t s = first;; ++s) {
    // A key of this scheme is done with the first set or the next; each
    // larger set costs more than the one before, so the search ends here.
    if (s >= n || s > first + kMaxEnlargements) {
      if (!spanned) {
        r.failure = "no set of indices gives the relations: this public key does not have the structure of X^30";
      } else {
        r.failure = "the equations still leave " + std::to_string(kernel.rows()) + " relations with a set of " +
                    std::to_string(s - 1) + " indices, more than the " + std::to_string(n) +
                    " of a key of this scheme: this public key has more relations than a key of this scheme";
      }
      return false;
    }
    if (!make_plan(forms, s, plan)) continue;  // these pairs do not span: a larger set
    spanned = true;
    if (progress) progress("equations", 0);
    const PackedMatrix eqs = equations_of(forms, plan, progress);
    if (progress) progress("equations", 1);
    r.equations = eqs.rows();
    r.unknowns = eqs.cols();
    r.set_size = s;
    if (progress) progress("elimination", 0);
    kernel = kernel_basis(eqs, [&](double done) { if (progress) progress("elimination", done); });
    if (kernel.rows() <= n) break;  // more than n: too few equations, a larger set
  }
  if (kernel.rows() < n) {
    r.failure = "the equations leave " + std::to_string(kernel.rows()) + " relations, not " + std::to_string(n) +
                ": this public key does not have the structure of X^30";
    return false;
  }
  out = Relations{n, std::vector<PackedMatrix>(n, PackedMatrix(n, n)), PackedMatrix(n, n), PackedMatrix(n, n),
                  std::vector<std::uint8_t>(n)};
  if (progress) progress("relations", 0);
  for (std::size_t k = 0; k < n; ++k) {
    complete_relation(forms, plan, kernel, k, out);
    if (progress && k % 8 == 0) progress("relations", static_cast<double>(k) / static_cast<double>(n));
  }
  if (progress) progress("relations", 1);
  return true;
}

}  // namespace gf3mq
