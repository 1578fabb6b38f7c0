// Products of packed GF(3) matrices (packed_matrix.h) by tabulated
// combinations of b's rows (packed_combination_tables.h), blocked for the
// cache: a table holds kProductTableGroups groups of three rows of b over
// 512 of its columns (221 KB: in the second-level cache, and below the
// blocks that go to fresh huge pages), and every row of a then adds one
// entry per group, found from the three elements of a at the group's
// columns.
//
// Blocks of 512 columns of c, and for narrow c parts of b's groups too
// (each summed apart, then added), go to separate threads. GF(3) sums are
// exact: c is the same for every count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "linalg/packed_matrix.h"

namespace gf3mq {

inline constexpr std::size_t kProductTableGroups = 64;

// c += a * b (mod 3), a m x p, b p x q, c m x q; on `threads` threads (0: worker_threads()).
void multiply_add(const PackedMatrix& a, const PackedMatrix& b, PackedMatrix& c, unsigned threads = 0);

// a * b (mod 3)
PackedMatrix multiply(const PackedMatrix& a, const PackedMatrix& b, unsigned threads = 0);

// index(r, g) = a(r, 3g) + 3 a(r, 3g + 1) + 9 a(r, 3g + 2), columns past a's last read as 0;
// (a.cols() + 2) / 3 indices per row, row after row.
std::vector<std::uint8_t> group_indices(const PackedMatrix& a, unsigned threads = 0);

}  // namespace gf3mq
