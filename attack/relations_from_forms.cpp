// Relations from the public forms: the set S, its basis of pairs, the
// equations in a_S, their kernel, and the rest of each relation.
#include <algorithm>
#include <thread>

#include "attack/relations.h"
#include "attack/relations_plan.h"
#include "linalg/packed_echelon.h"
#include "linalg/packed_product.h"
#include "linalg/packed_rows.h"
#include "linalg/packed_transpose.h"
#include "runtime/worker_threads.h"

namespace gf3mq {

namespace {

// Elements [offset, offset + n) of row `row` of m (zero there before) from
// the first n elements of a packed vector.
void set_elements_at(PackedMatrix& m, std::size_t row, std::size_t offset, const std::uint64_t* ones,
                     const std::uint64_t* twos, std::size_t n) {
  for (std::size_t w = 0; w * 64 < n; ++w) {
    const unsigned count = static_cast<unsigned>(std::min<std::size_t>(64, n - 64 * w));
    place_bits(m.ones(row), offset + 64 * w, bits_from(ones + w, 1, 0, count), count);
    place_bits(m.twos(row), offset + 64 * w, bits_from(twos + w, 1, 0, count), count);
  }
}

// Rows beyond those the rank of a key of this scheme needs taken into the
// elimination: a margin against the few that depend on the others.
constexpr std::size_t kSpareRows = 24;

// Sets larger than the first tried before the search gives up.
constexpr std::size_t kMaxEnlargements = 3;

// Relations, in multiples of n, beyond which a set is not merely too small
// for a key of this scheme: such a key leaves n with its first set (at every
// odd n from 9 to 129, and at 131, 257 and 331), and one whose forms are
// products x_a x_b of a few variables leaves thousands with every set (4144
// at 257), each larger set costing more than the one before. Beyond this
// the key is refused at once.
constexpr std::size_t kFarMoreRelations = 2;

// Rows of the rest multiplied at a time: their group indices (a third of a
// byte per element) stay small.
constexpr std::size_t kRowsChecked = 1024;

// Whether row r of m is zero.
bool is_zero_row(const PackedMatrix& m, std::size_t r) {
  return std::all_of(m.ones(r), m.ones(r) + 2 * m.words(), [](std::uint64_t w) { return w == 0; });
}

// Whether every row of m vanishes on every row of kernel.
bool vanish_on(const PackedMatrix& m, const PackedMatrix& kernel, unsigned threads) {
  const PackedMatrix columns = transpose(kernel);
  PackedMatrix part(std::min(kRowsChecked, m.rows()), m.cols());
  for (std::size_t first = 0; first < m.rows(); first += part.rows()) {
    const std::size_t count = std::min(part.rows(), m.rows() - first);
    std::fill_n(part.ones(0), 2 * part.words() * part.rows(), 0);
    std::copy_n(m.ones(first), 2 * m.words() * count, part.ones(0));
    const PackedMatrix values = multiply(part, columns, threads);
    for (std::size_t r = 0; r < count; ++r)
      if (!is_zero_row(values, r)) return false;
  }
  return true;
}

}  // namespace

std::size_t rows_the_rank_needs(std::size_t n, std::size_t s) {
  return std::min(equations_for(n, s), s * n - std::min(s * n, n) + kSpareRows);
}

PackedMatrix kernel_of_parts(PackedMatrix& head, const PackedMatrix& rest, std::size_t n, const PhaseProgress& progress,
                             unsigned threads) {
  // One phase for the caller, ended once at the very end: the head's
  // elimination, the check of the rest and, when needed, that of all rows.
  const PhaseProgress under_way = [&](const char* phase, double done) {
    if (done < 1) report_progress(progress, phase, done);
  };
  PackedMatrix kernel = kernel_in_place(head, under_way, threads);
  const std::size_t rank = head.cols() - kernel.rows();
  if (rest.rows() != 0 && !(kernel.rows() == n && vanish_on(rest, kernel, threads))) {
    // The rows of the head's echelon form, one per pivot (the others are
    // zero), and the rows of the rest that are not zero span what all rows
    // span: the same echelon form, from fewer rows.
    std::vector<std::size_t> rows;
    for (std::size_t r = 0; r < rest.rows(); ++r)
      if (!is_zero_row(rest, r)) rows.push_back(r);
    PackedMatrix all(rank + rows.size(), head.cols());
    std::copy_n(head.ones(0), 2 * head.words() * rank, all.ones(0));
    for (std::size_t i = 0; i < rows.size(); ++i) std::copy_n(rest.ones(rows[i]), 2 * rest.words(), all.ones(rank + i));
    kernel = kernel_basis(all, under_way, threads);
  }
  report_progress(progress, kEliminationPhase, 1);
  return kernel;
}

PackedMatrix kernel_of_equations(const PackedMatrix& eqs, std::size_t n, const PhaseProgress& progress,
                                 unsigned threads) {
  const std::size_t head_rows = std::min(eqs.rows(), eqs.cols() - std::min(eqs.cols(), n) + kSpareRows);
  PackedMatrix head(head_rows, eqs.cols()), rest(eqs.rows() - head_rows, eqs.cols());
  std::copy_n(eqs.ones(0), 2 * eqs.words() * head.rows(), head.ones(0));
  std::copy_n(eqs.ones(head_rows), 2 * eqs.words() * rest.rows(), rest.ones(0));
  return kernel_of_parts(head, rest, n, progress, threads);
}

std::size_t equations_for(std::size_t n, std::size_t s) {
  const std::size_t pairs = s * (s - 1) / 2;
  return (n - s) * (pairs - n) + s * (s - 1) * (s - 2) / 6;
}

bool set_can_serve(std::size_t n, std::size_t s) {
  return s < n && s * (s - 1) / 2 >= n && equations_for(n, s) >= s * n - n + kEquationsToSpare;
}

std::size_t first_set_size(std::size_t n) {
  std::size_t s = 2;
  while (s < n && !set_can_serve(n, s)) ++s;
  return s;
}

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
    set_elements_at(augmented, t, 0, f.q_ones(plan.basis[t].a, plan.basis[t].b),
                    f.q_twos(plan.basis[t].a, plan.basis[t].b), n);
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
void equations_in_parts(const PublicForms& f, const Plan& plan, std::size_t head_rows, PackedMatrix& head,
                        PackedMatrix& rest, const PhaseProgress& progress, unsigned threads) {
  const std::size_t n = f.n(), s = plan.s, total = equations_for(n, s);
  head = PackedMatrix(std::min(head_rows, total), s * n);
  rest = PackedMatrix(total - head.rows(), s * n);
  const auto set_at = [&](std::size_t row, std::size_t offset, const std::uint64_t* ones, const std::uint64_t* twos) {
    if (row < head.rows())
      set_elements_at(head, row, offset, ones, twos, n);
    else
      set_elements_at(rest, row - head.rows(), offset, ones, twos, n);
  };
  // The rows of each e are their own (e - s) * surplus pairs on: each e
  // goes to a thread of its own, its progress told by the calling thread.
  const std::thread::id caller = std::this_thread::get_id();
  for_each_item(n - s, threads, [&](std::size_t item) {
    const std::size_t e = s + item;
    PackedMatrix block(1, n);
    std::size_t row = item * plan.surplus.size();
    for (std::size_t i = 0; i < plan.surplus.size(); ++i, ++row) {
      const Pair p = plan.surplus[i];
      for (std::size_t x = 0; x < s; ++x) {
        std::fill_n(block.ones(0), 2 * block.words(), 0);
        for (std::size_t y = 0; y < s; ++y) {
          const int t = y == x ? -1 : plan.basis_of[x * s + y];
          if (t < 0) continue;
          const unsigned weight = plan.w.get(i, static_cast<std::size_t>(t));
          if (weight != 0)
            packed_add_multiple(block.ones(0), block.twos(0), f.q_ones(y, e), f.q_twos(y, e), 3 - weight,
                                block.words());
        }
        if (x == p.a) packed_add(block.ones(0), block.twos(0), f.q_ones(p.b, e), f.q_twos(p.b, e), block.words());
        if (x == p.b) packed_add(block.ones(0), block.twos(0), f.q_ones(p.a, e), f.q_twos(p.a, e), block.words());
        set_at(row, x * n, block.ones(0), block.twos(0));
      }
    }
    if (progress && e % 16 == 0 && std::this_thread::get_id() == caller)
      progress("equations", static_cast<double>(e - s) / static_cast<double>(n - s));
  });
  std::size_t row = (n - s) * plan.surplus.size();
  for (std::size_t c = 2; c < s; ++c)
    for (std::size_t b = 1; b < c; ++b)
      for (std::size_t a = 0; a < b; ++a, ++row) {
        set_at(row, a * n, f.q_ones(b, c), f.q_twos(b, c));
        set_at(row, b * n, f.q_ones(a, c), f.q_twos(a, c));
        set_at(row, c * n, f.q_ones(a, b), f.q_twos(a, b));
      }
}

PackedMatrix equations_of(const PublicForms& f, const Plan& plan, const PhaseProgress& progress) {
  PackedMatrix all, none;
  equations_in_parts(f, plan, equations_for(f.n(), plan.s), all, none, progress, 0);
  return all;
}

bool relations_from_public_forms(const PublicForms& forms, Relations& out, const PhaseProgress& progress,
                                 RelationsReport* report, unsigned threads) {
  const std::size_t n = forms.n();
  RelationsReport local;
  RelationsReport& r = report != nullptr ? *report : local;
  r = RelationsReport{};
  Plan plan;
  PackedMatrix kernel;
  bool spanned = false;  // some set's pairs spanned GF(3)^n
  // The refusal of a key whose equations leave more relations than n.
  const auto more_relations = [&](std::size_t s, const char* leave, const char* than) {
    r.failure = std::string("the equations ") + leave + " " + std::to_string(kernel.rows()) +
                " relations with a set of " + std::to_string(s) + " indices, " + than + std::to_string(n) +
                " of a key of this scheme: this public key has more relations than a key of this scheme";
    return false;
  };
  const std::size_t first = first_set_size(n);
  for (std::size_t s = first;; ++s) {
    // A key of this scheme is done with the first set or the next; each
    // larger set costs more than the one before, so the search ends here.
    if (s >= n || s > first + kMaxEnlargements) {
      if (spanned) return more_relations(s - 1, "still leave", "more than the ");
      r.failure = "no set of indices gives the relations: this public key does not have the structure of X^30";
      return false;
    }
    if (!make_plan(forms, s, plan)) continue;  // these pairs do not span: a larger set
    spanned = true;
    if (progress) progress("equations", 0);
    PackedMatrix head, rest;
    equations_in_parts(forms, plan, rows_the_rank_needs(n, s), head, rest, progress, threads);
    if (progress) progress("equations", 1);
    r.equations = head.rows() + rest.rows();
    r.unknowns = head.cols();
    r.set_size = s;
    report_progress(progress, kEliminationPhase, 0);
    kernel = kernel_of_parts(head, rest, n, progress, threads);
    if (kernel.rows() <= n) break;  // more than n: too few equations, a larger set
    // Far more: not too few equations, but more relations than a key of this scheme has.
    if (kernel.rows() > kFarMoreRelations * n) return more_relations(s, "leave", "far more than the ");
  }
  r.rank = r.unknowns - kernel.rows();
  if (kernel.rows() < n) {
    r.failure = "the equations leave " + std::to_string(kernel.rows()) + " relations, not " + std::to_string(n) +
                ": this public key does not have the structure of X^30";
    return false;
  }
  out = Relations{n, std::vector<PackedMatrix>(n, PackedMatrix(n, n)), PackedMatrix(n, n), PackedMatrix(n, n),
                  std::vector<std::uint8_t>(n)};
  if (progress) progress("relations", 0);
  complete_relations(forms, plan, kernel, out, threads);
  if (progress) progress("relations", 1);
  return true;
}

}  // namespace gf3mq
