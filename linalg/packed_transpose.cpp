#include "linalg/packed_transpose.h"

#include <algorithm>

namespace gf3mq {

void transpose_bits_64(std::uint64_t* a) {
  // Round j swaps element (k, c + j) with (k + j, c) for every row k and
  // column c whose bit j is clear: m marks those columns.
  std::uint64_t m = 0x00000000FFFFFFFFull;
  for (unsigned j = 32; j != 0; j >>= 1, m ^= m << j) {
    for (unsigned k = 0; k < 64; k = ((k | j) + 1) & ~j) {
      const std::uint64_t t = ((a[k] >> j) ^ a[k | j]) & m;
      a[k] ^= t << j;
      a[k | j] ^= t;
    }
  }
}

void transpose_columns(const PackedMatrix& m, std::size_t first_word, PackedMatrix& out) {
  std::uint64_t block[2][64];
  for (std::size_t row_block = 0; row_block < m.rows(); row_block += 64) {  // out's column blocks
    const std::size_t rows_here = std::min<std::size_t>(64, m.rows() - row_block);
    for (std::size_t out_block = 0; out_block < out.rows(); out_block += 64) {  // out's row blocks
      const std::size_t word = first_word + out_block / 64;
      for (std::size_t i = 0; i < 64; ++i) {
        const bool inside = i < rows_here && word < m.words();
        block[0][i] = inside ? m.ones(row_block + i)[word] : 0;
        block[1][i] = inside ? m.twos(row_block + i)[word] : 0;
      }
      transpose_bits_64(block[0]);
      transpose_bits_64(block[1]);
      const std::size_t out_rows = std::min<std::size_t>(64, out.rows() - out_block);
      for (std::size_t i = 0; i < out_rows; ++i) {
        out.ones(out_block + i)[row_block / 64] = block[0][i];
        out.twos(out_block + i)[row_block / 64] = block[1][i];
      }
    }
  }
}

PackedMatrix transpose(const PackedMatrix& m) {
  PackedMatrix out(m.cols(), m.rows());
  transpose_columns(m, 0, out);
  return out;
}

}  // namespace gf3mq
