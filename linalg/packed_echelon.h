// Elimination of packed GF(3) matrices (packed_matrix.h): the reduced row
// echelon form, kernels and solutions of linear systems.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "linalg/packed_matrix.h"
#include "runtime/progress.h"

namespace gf3mq {

// The phase that reduce_to_echelon and kernel_basis report to their progress.
inline constexpr const char* kEliminationPhase = "elimination";

// Brings m to reduced row echelon form in place, by Gauss-Jordan
// elimination in the manner of the method of four Russians: pivots are
// taken up to 48 columns at a time (a panel), the combinations of its pivot
// rows are tabulated three rows at a time, and each other row is then
// cleared with one sum of table rows, read and written once per panel.
// Returns the pivot columns, ascending (their number is the rank).
// The rows are cleared on up to `threads` threads (0: worker_threads()),
// at least 512 rows each; the result is the same for every count.
std::vector<std::size_t> reduce_to_echelon(PackedMatrix& m, const PhaseProgress& progress = {}, unsigned threads = 1);

// Brings m to a row echelon form in place: the same pivots, each pivot row
// 1 at its pivot column, 0 left of it and at the other pivots of its panel,
// and every row below it 0 there; the rows above a panel are left as they
// are, which saves about a third of the work. Returns the pivot columns.
std::vector<std::size_t> reduce_to_row_echelon(PackedMatrix& m, const PhaseProgress& progress = {},
                                               unsigned threads = 1);

// A basis of the kernel {x : m x = 0}, one row per column without a pivot:
// row k is 1 at the k-th free column f and -E(i, f) at pivot column i, E the
// reduced echelon form.
PackedMatrix kernel_basis(const PackedMatrix& m, const PhaseProgress& progress = {}, unsigned threads = 1);

// The same, m brought in place to an echelon form whose first rank rows
// span its rows (rank: m.cols() less the kernel's rows): the reduced form
// below kRowEchelonFromRows rows, from there a row echelon form and back
// substitution, which then costs less than the rows above each panel.
inline constexpr std::size_t kRowEchelonFromRows = 4096;
PackedMatrix kernel_in_place(PackedMatrix& m, const PhaseProgress& progress = {}, unsigned threads = 1);

// The kernel basis from the reduced echelon form and its pivots (reduce_to_echelon).
PackedMatrix kernel_of_echelon(const PackedMatrix& echelon, const std::vector<std::size_t>& pivots);

// The same basis from a row echelon form and its pivots (reduce_to_row_echelon):
// the reduced form at the free columns by back substitution, 96 pivot rows
// at a time, every row above them cleared of them at once from tables.
PackedMatrix kernel_of_row_echelon(const PackedMatrix& echelon, const std::vector<std::size_t>& pivots,
                                   unsigned threads = 1);

// Solves m x = b: true with x one solution, false when there is none.
// kernel (when given) receives a basis of the solutions of m x = 0, so that
// every solution is x plus a combination of its rows.
bool solve(const PackedMatrix& m, const std::vector<std::uint8_t>& b, std::vector<std::uint8_t>& x,
           PackedMatrix* kernel = nullptr);

}  // namespace gf3mq
