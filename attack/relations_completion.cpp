// The rest of every relation from its a_S: blocked products on bit-planes,
// and row by row for checking.
#include <algorithm>

#include "attack/relations_plan.h"
#include "linalg/packed_product.h"
#include "linalg/packed_rows.h"
#include "linalg/packed_transpose.h"

namespace gf3mq {

namespace {

// (ones, twos)[0 .. words of n) = elements [offset, offset + n) of row `row` of m.
void copy_elements(const PackedMatrix& m, std::size_t row, std::size_t offset, std::size_t n, std::uint64_t* ones,
                   std::uint64_t* twos) {
  for (std::size_t w = 0; w * 64 < n; ++w) {
    const unsigned count = static_cast<unsigned>(std::min<std::size_t>(64, n - 64 * w));
    ones[w] = bits_from(m.ones(row), m.words(), offset + 64 * w, count);
    twos[w] = bits_from(m.twos(row), m.words(), offset + 64 * w, count);
  }
}

void copy_vector(const std::uint64_t* ones, const std::uint64_t* twos, std::size_t words, PackedMatrix& to,
                 std::size_t to_row, std::size_t to_first) {
  std::copy_n(ones, words, to.ones(to_row) + to_first);
  std::copy_n(twos, words, to.twos(to_row) + to_first);
}

// Words [first, first + count) of both planes of row `row` of m.
void copy_words(const PackedMatrix& from, std::size_t row, std::size_t first, PackedMatrix& to, std::size_t to_row,
                std::size_t to_first, std::size_t count) {
  copy_vector(from.ones(row) + first, from.twos(row) + first, count, to, to_row, to_first);
}

void clear(PackedMatrix& m) { std::fill_n(m.ones(0), 2 * m.words() * m.rows(), 0); }

// Relations completed together: D of 64 relations at 257 is 2.4 MB, at 1021 38 MB.
constexpr std::size_t kRelationsAtOnce = 64;
// Indices u of the rows a_u taken together for b and d.
constexpr std::size_t kRowsAtOnce = 32;

// out = -(sum over t of r_t * column t of Q^-1): the solution of Q y = -r.
void apply_minus_qinv(const Plan& plan, const std::vector<unsigned>& r, std::uint64_t* ones, std::uint64_t* twos) {
  const std::size_t words = plan.qinv_columns.words();
  std::fill_n(ones, words, 0);
  std::fill_n(twos, words, 0);
  for (std::size_t t = 0; t < r.size(); ++t)
    if (r[t] % 3 != 0)
      packed_add_multiple(ones, twos, plan.qinv_columns.ones(t), plan.qinv_columns.twos(t), 3 - r[t] % 3, words);
}

// Relation k from its a_S (row k of the kernel).
void complete_relation(const PublicForms& f, const Plan& plan, const PackedMatrix& kernel, std::size_t k,
                       Relations& out) {
  const std::size_t n = f.n(), s = plan.s, words = f.words();
  PackedMatrix& a = out.a[k];
  for (std::size_t x = 0; x < s; ++x) copy_elements(kernel, k, x * n, n, a.ones(x), a.twos(x));
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

void complete_relations_by_rows(const PublicForms& f, const Plan& plan, const PackedMatrix& kernel, Relations& out) {
  for (std::size_t k = 0; k < kernel.rows(); ++k) complete_relation(f, plan, kernel, k, out);
}

void complete_relations(const PublicForms& f, const Plan& plan, const PackedMatrix& kernel, Relations& out,
                        unsigned threads) {
  const std::size_t n = f.n(), s = plan.s, words = f.words(), relations = kernel.rows();
  for (std::size_t k = 0; k < relations; ++k)
    for (std::size_t x = 0; x < s; ++x) copy_elements(kernel, k, x * n, n, out.a[k].ones(x), out.a[k].twos(x));
  // Column (y, e) of B, at y block_words 64 + e - s, is q(y, e) over the
  // forms; the column after e = n - 1 is L(y), for g.
  const std::size_t outside = n - s + 1, block_words = (outside + 63) / 64, block = 64 * block_words;
  PackedMatrix by_column(s * block, n);
  for (std::size_t y = 0; y < s; ++y) {
    for (std::size_t e = s; e < n; ++e)
      copy_vector(f.q_ones(y, e), f.q_twos(y, e), words, by_column, y * block + e - s, 0);
    copy_vector(f.l_ones(y), f.l_twos(y), words, by_column, y * block + n - s, 0);
  }
  const PackedMatrix b_matrix = transpose(by_column);
  PackedMatrix minus_qinv = transpose(plan.qinv_columns);  // row j: (Q^-1)_(j, t) over t, negated below
  for (std::size_t j = 0; j < n; ++j) std::swap_ranges(minus_qinv.ones(j), minus_qinv.twos(j), minus_qinv.twos(j));
  // Matrices allocated once: large ones lie on fresh huge pages.
  const std::size_t at_once = std::min(kRelationsAtOnce, relations);
  PackedMatrix a_s(at_once * s, n), d(at_once * s, s * block), r(n, at_once * block), solved(n, at_once * block),
      rest(outside, n);
  for (std::size_t first = 0; first < relations; first += at_once) {
    const std::size_t count = std::min(at_once, relations - first);
    // D(k, x; y, e) = a_x . q(y, e) of relation first + k (rows past count: zero).
    clear(a_s);
    clear(d);
    for (std::size_t k = 0; k < count; ++k)
      for (std::size_t x = 0; x < s; ++x) copy_words(out.a[first + k], x, 0, a_s, k * s + x, 0, words);
    multiply_add(a_s, b_matrix, d, threads);
    // r'(t) over e, block k: a_a . q(b, e) + a_b . q(a, e) for basis pair t = (a, b).
    for (std::size_t k = 0; k < count; ++k) {
      for (std::size_t t = 0; t < n; ++t) {
        const Pair p = plan.basis[t];
        const std::size_t at = k * block_words;
        copy_words(d, k * s + p.a, p.b * block_words, r, t, at, block_words);
        const std::uint64_t* ones = d.ones(k * s + p.b) + p.a * block_words;
        const std::uint64_t* twos = d.twos(k * s + p.b) + p.a * block_words;
        packed_add(r.ones(t) + at, r.twos(t) + at, ones, twos, block_words);
      }
    }
    // Column (k, e) of -Q^-1 r' is a_e of relation first + k, or its g.
    clear(solved);
    multiply_add(minus_qinv, r, solved, threads);
    for (std::size_t k = 0; k < count; ++k) {
      transpose_columns(solved, k * block_words, rest);
      for (std::size_t e = s; e < n; ++e) copy_words(rest, e - s, 0, out.a[first + k], e, 0, words);
      copy_words(rest, n - s, 0, out.g, first + k, 0, words);
    }
  }
  // sums(k, x) = sum over u != x of a_u . q(u, x) + g . L(x), and sums(k, n) =
  // sum over u of a_u . L(u): a_0, ..., a_(n-1), g of each relation side by
  // side, times the rows (u, i) whose column x is q(u, x)_i (L(x)_i for g's
  // rows, L(u)_i in column n). Slots past u = n stay zero.
  const std::size_t slot = 64 * words, rows_at_once = std::min(kRowsAtOnce, n + 1);
  PackedMatrix sums(relations, n + 1), by_x(n + 1, n), by_form(slot, n + 1), rows(relations, rows_at_once * slot),
      columns(rows_at_once * slot, n + 1);
  for (std::size_t first = 0; first <= n; first += rows_at_once) {
    const std::size_t count = std::min(rows_at_once, n + 1 - first);
    if (count < rows_at_once) {
      clear(rows);
      clear(columns);
    }
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t u = first + i;
      for (std::size_t k = 0; k < relations; ++k)
        if (u < n)
          copy_words(out.a[k], u, 0, rows, k, i * words, words);
        else
          copy_words(out.g, k, 0, rows, k, i * words, words);
      clear(by_x);
      for (std::size_t x = 0; x <= n; ++x) {
        if (u < n && x < n && x != u) copy_vector(f.q_ones(u, x), f.q_twos(u, x), words, by_x, x, 0);
        if (u < n && x == n) copy_vector(f.l_ones(u), f.l_twos(u), words, by_x, x, 0);
        if (u == n && x < n) copy_vector(f.l_ones(x), f.l_twos(x), words, by_x, x, 0);
      }
      transpose_columns(by_x, 0, by_form);
      for (std::size_t row = 0; row < slot; ++row)
        copy_words(by_form, row, 0, columns, i * slot + row, 0, columns.words());
    }
    multiply_add(rows, columns, sums, threads);
  }
  for (std::size_t k = 0; k < relations; ++k) {
    for (std::size_t x = 0; x < n; ++x) out.b.set(k, x, 3 - sums.get(k, x));
    out.d[k] = static_cast<std::uint8_t>((3 - sums.get(k, n)) % 3);
  }
}

}  // namespace gf3mq
