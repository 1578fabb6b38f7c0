// The set S behind the relations from the public forms (relations.h), its
// basis of pairs, and the equations in the rows a_S.
//
// S = {0, ..., s - 1}. A basis of pairs (a, b) in S has q(a, b) spanning
// GF(3)^n; Q is the matrix of their q, one per row. For e outside S, the
// degree-three equations of the basis pairs give Q a_e = -r', with
//   r'((a, b)) = a_a . q(b, e) + a_b . q(a, e),
// and those of the surplus pairs, written through the basis, are linear in
// a_S alone; so are the triples inside S.
#pragma once

#include <cstddef>
#include <vector>

#include "attack/public_forms.h"
#include "attack/relations.h"
#include "linalg/packed_echelon.h"

namespace gf3mq {

struct Pair {
  std::size_t a, b;
};

struct Plan {
  std::size_t s = 0;
  std::vector<Pair> basis, surplus;
  std::vector<int> basis_of;  // x * s + y -> index in basis, or -1
  PackedMatrix qinv_columns;  // row t: column t of Q^-1
  PackedMatrix w;             // row i: q(surplus i)^T Q^-1, over the basis
};

// The equations of a set of s indices: (n - s) (s (s - 1) / 2 - n) + s (s - 1) (s - 2) / 6.
std::size_t equations_for(std::size_t n, std::size_t s);

// Whether a set of s indices (s < n) can serve: its s (s - 1) / 2 pairs are
// enough to span GF(3)^n, and its equations exceed by kEquationsToSpare the
// rank s n - n that a kernel of n relations leaves in its s n unknowns.
inline constexpr std::size_t kEquationsToSpare = 8;
bool set_can_serve(std::size_t n, std::size_t s);

// The smallest s that can serve.
std::size_t first_set_size(std::size_t n);

// The plan of S = {0, ..., s - 1}; false when its pairs do not span GF(3)^n.
bool make_plan(const PublicForms& f, std::size_t s, Plan& plan);

// The equations in a_S (s n unknowns, a_x at columns x n ... x n + n - 1).
PackedMatrix equations_of(const PublicForms& f, const Plan& plan, const PhaseProgress& progress);

// The same in two parts: the first head_rows rows (all when there are
// fewer) in head, the others in rest. On `threads` threads (0:
// worker_threads()), the same for every count.
void equations_in_parts(const PublicForms& f, const Plan& plan, std::size_t head_rows, PackedMatrix& head,
                        PackedMatrix& rest, const PhaseProgress& progress, unsigned threads = 0);

// The rows the rank of a key of this scheme needs, and 24 more: s n - n + 24
// (at most all).
std::size_t rows_the_rank_needs(std::size_t n, std::size_t s);

// The kernel of eqs, which for a key of this scheme has n dimensions: from
// the rows its rank needs, the first unknowns - n + 24, when their kernel
// has n dimensions and every other row vanishes on it (then the kernels are
// the same, and so are their bases, from the unique reduced echelon form);
// otherwise from all rows. On `threads` threads (0: worker_threads()).
PackedMatrix kernel_of_equations(const PackedMatrix& eqs, std::size_t n, const PhaseProgress& progress = {},
                                 unsigned threads = 0);

// The same from eqs in two parts: the first rows in head (brought to an
// echelon form in place, kernel_in_place), the others in rest. When all rows are needed,
// those of the head's echelon form that are not zero and those of the rest
// that are not zero are eliminated (they span what all rows span).
// progress reports its end once, after all of it.
PackedMatrix kernel_of_parts(PackedMatrix& head, const PackedMatrix& rest, std::size_t n, const PhaseProgress& progress,
                             unsigned threads);

// Every relation from its a_S, row k of kernel: a_e = -Q^-1 r' for e
// outside S, then g, b and d (relations.h). out holds kernel.rows() relations
// of n elements, zero. By blocked products: D(k, x; y, e) = a_x . q(y, e)
// for x, y in S and e outside S (and q(y, e) = L(y) for g), r' from two
// elements of D, a_e = -Q^-1 r' for every e and k at once, and b, d from
// the n^2 elements of every a against the forms. On `threads` threads
// (0: worker_threads()), the same for every count.
void complete_relations(const PublicForms& f, const Plan& plan, const PackedMatrix& kernel, Relations& out,
                        unsigned threads = 0);

// The same, row by row with dot products: the clear version, for checking.
void complete_relations_by_rows(const PublicForms& f, const Plan& plan, const PackedMatrix& kernel, Relations& out);

}  // namespace gf3mq
