// Transposes of packed GF(3) matrices (packed_matrix.h), 64 x 64 elements
// at a time: each plane of a block is a 64 x 64 bit matrix, transposed by
// swapping its off-diagonal halves, quarters, ... (six rounds).
#pragma once

#include <cstddef>
#include <cstdint>

#include "linalg/packed_matrix.h"

namespace gf3mq {

// out(r, c) = m(c, 64 first_word + r) for r < out.rows(), c < m.rows():
// the columns from 64 first_word on, as rows. out.cols() must be m.rows();
// columns of m past its last are read as zero.
void transpose_columns(const PackedMatrix& m, std::size_t first_word, PackedMatrix& out);

// m^T
PackedMatrix transpose(const PackedMatrix& m);

// bits(r, c) = bits(c, r) for a 64 x 64 bit matrix, bit c of word r.
void transpose_bits_64(std::uint64_t* words);

}  // namespace gf3mq
