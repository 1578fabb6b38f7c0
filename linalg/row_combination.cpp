// Sums of many rows held in registers: combine_rows and add_row_combination,
// each compiled at every kernel width; the AVX-512 width also has 64-byte
// versions for the vector counts the field and key generation use.
#include <algorithm>

#include "linalg/gf3_rows.h"
#include "runtime/simd_bytes.h"

namespace gf3mq {

namespace {

using simd::Bytes32;
using simd::Bytes64;

constexpr std::size_t kBlockVectors = 8;  // 256 bytes held in registers
constexpr std::size_t kBlockBytes = kBlockVectors * 32;

[[gnu::always_inline]] inline void combine_rows_body(std::uint8_t* out, const std::uint8_t* coeffs,
                                                     std::ptrdiff_t coeff_step, const std::uint8_t* rows,
                                                     const std::uint8_t* doubled, std::size_t n_terms,
                                                     std::size_t stride, std::size_t width) {
  // Columns in blocks of 256 bytes kept in registers across all terms; the
  // columns after the last whole vector are summed one byte at a time.
  std::size_t column = 0;
  for (; column + 32 <= width; column += kBlockBytes) {
    const std::size_t vectors = std::min(kBlockVectors, (width - column) / 32);
    Bytes32 acc[kBlockVectors] = {};
    int pending = 0;  // terms since the last reduction: at most kAccumulateLimit
    for (std::size_t j = 0; j < n_terms; ++j) {
      const std::uint8_t k = coeffs[static_cast<std::ptrdiff_t>(j) * coeff_step];
      if (k == 0) continue;
      const std::uint8_t* row = (k == 1 ? rows : doubled) + j * stride + column;
      if (vectors == kBlockVectors) {
        for (std::size_t q = 0; q < kBlockVectors; ++q) acc[q] += simd::load<Bytes32>(row + 32 * q);
      } else {
        for (std::size_t q = 0; q < vectors; ++q) acc[q] += simd::load<Bytes32>(row + 32 * q);
      }
      if (++pending == kAccumulateLimit) {
        for (auto& v : acc) v = simd::reduce(v);
        pending = 0;
      }
    }
    for (std::size_t q = 0; q < vectors; ++q) simd::store(out + column + 32 * q, simd::reduce(acc[q]));
    if (vectors < kBlockVectors) {
      column += vectors * 32;
      break;
    }
  }
  for (; column < width; ++column) {
    unsigned sum = 0;
    for (std::size_t j = 0; j < n_terms; ++j) {
      const std::uint8_t k = coeffs[static_cast<std::ptrdiff_t>(j) * coeff_step];
      if (k != 0) sum += (k == 1 ? rows : doubled)[j * stride + column];
    }
    out[column] = static_cast<std::uint8_t>(sum % 3u);
  }
}

// add_row_combination over exactly V vectors from byte `offset` of every
// row, summed in registers (see kCombineHeadroom).
template <std::size_t V>
[[gnu::always_inline]] inline void combine_vectors(std::uint8_t* out, const std::uint8_t* base,
                                                   const std::uint8_t* const* once, std::size_t n_once,
                                                   const std::uint8_t* const* twice, std::size_t n_twice,
                                                   std::size_t offset) {
  Bytes32 acc[V];
  for (std::size_t q = 0; q < V; ++q) acc[q] = simd::load<Bytes32>(base + 32 * q);
  unsigned bound = 2;  // largest possible byte so far
  auto make_room = [&](unsigned added) {
    bound += added;
    if (bound > kCombineHeadroom) {
      for (std::size_t q = 0; q < V; ++q) acc[q] = simd::reduce(acc[q]);
      bound = 2;
    }
  };
  for (std::size_t j = 0; j < n_once; ++j) {
    for (std::size_t q = 0; q < V; ++q) acc[q] += simd::load<Bytes32>(once[j] + offset + 32 * q);
    make_room(2);
  }
  const Bytes32 three = Bytes32{} + 3;
  for (std::size_t j = 0; j < n_twice; ++j) {
    for (std::size_t q = 0; q < V; ++q) acc[q] += three - simd::load<Bytes32>(twice[j] + offset + 32 * q);
    make_room(3);
  }
  for (std::size_t q = 0; q < V; ++q) simd::store(out + 32 * q, simd::reduce(acc[q]));
}

[[gnu::always_inline]] inline void add_row_combination_body(std::uint8_t* out, const std::uint8_t* base,
                                                            const std::uint8_t* const* once, std::size_t n_once,
                                                            const std::uint8_t* const* twice, std::size_t n_twice,
                                                            std::size_t vectors) {
  // Parts of at most nine vectors, each summed in registers.
  for (std::size_t done = 0; done < vectors;) {
    const std::size_t part = std::min<std::size_t>(9, vectors - done);
    std::uint8_t* part_out = out + 32 * done;
    const std::uint8_t* part_base = base + 32 * done;
    const std::size_t offset = 32 * done;
    switch (part) {
      case 9:
        combine_vectors<9>(part_out, part_base, once, n_once, twice, n_twice, offset);
        break;
      case 8:
        combine_vectors<8>(part_out, part_base, once, n_once, twice, n_twice, offset);
        break;
      default:
        for (std::size_t q = 0; q < part; ++q)
          combine_vectors<1>(part_out + 32 * q, part_base + 32 * q, once, n_once, twice, n_twice, offset + 32 * q);
    }
    done += part;
  }
}

// The AVX-512 sum over exactly V 64-byte vectors: rows taken once and rows
// taken twice are summed apart (32 registers hold both sums); the second
// sum is doubled at the end.
template <std::size_t V>
[[gnu::always_inline]] inline void combine_vectors64(std::uint8_t* out, const std::uint8_t* base,
                                                     const std::uint8_t* const* once, std::size_t n_once,
                                                     const std::uint8_t* const* twice, std::size_t n_twice) {
  Bytes64 acc[V], doubled[V] = {};
  for (std::size_t q = 0; q < V; ++q) acc[q] = simd::load<Bytes64>(base + 64 * q);
  for (std::size_t first = 0; first < n_once; first += kCombineTermsPerReduction) {
    const std::size_t last = std::min(n_once, first + kCombineTermsPerReduction);
    for (std::size_t j = first; j < last; ++j) {
      for (std::size_t q = 0; q < V; ++q) acc[q] += simd::load<Bytes64>(once[j] + 64 * q);
    }
    for (auto& v : acc) v = simd::reduce(v);
  }
  for (std::size_t first = 0; first < n_twice; first += kCombineTermsPerReduction) {
    const std::size_t last = std::min(n_twice, first + kCombineTermsPerReduction);
    for (std::size_t j = first; j < last; ++j)
      for (std::size_t q = 0; q < V; ++q) doubled[q] += simd::load<Bytes64>(twice[j] + 64 * q);
    for (auto& v : doubled) v = simd::reduce(v);
  }
  for (std::size_t q = 0; q < V; ++q) simd::store(out + 64 * q, simd::reduce(acc[q] + doubled[q] + doubled[q]));
}

// Whole products of two field elements (576 bytes, 18 vectors of 32), field
// elements padded to 320 bytes (10) and 256-byte blocks (8).
GF3MQ_TARGET_AVX512 bool combine_avx512(std::uint8_t* out, const std::uint8_t* base, const std::uint8_t* const* once,
                                        std::size_t n_once, const std::uint8_t* const* twice, std::size_t n_twice,
                                        std::size_t vectors) {
  switch (vectors) {
    case 18:
      combine_vectors64<9>(out, base, once, n_once, twice, n_twice);
      return true;
    case 10:
      combine_vectors64<5>(out, base, once, n_once, twice, n_twice);
      return true;
    case 8:
      combine_vectors64<4>(out, base, once, n_once, twice, n_twice);
      return true;
    default:
      return false;
  }
}

}  // namespace

GF3MQ_KERNEL_AT_EVERY_WIDTH(void, combine_rows,
                            (std::uint8_t * out, const std::uint8_t* coeffs, std::ptrdiff_t coeff_step,
                             const std::uint8_t* rows, const std::uint8_t* doubled, std::size_t n_terms,
                             std::size_t stride, std::size_t width),
                            (out, coeffs, coeff_step, rows, doubled, n_terms, stride, width))

static void add_row_combination_portable(std::uint8_t* out, const std::uint8_t* base, const std::uint8_t* const* once,
                                         std::size_t n_once, const std::uint8_t* const* twice, std::size_t n_twice,
                                         std::size_t vectors) {
  add_row_combination_body(out, base, once, n_once, twice, n_twice, vectors);
}

GF3MQ_TARGET_AVX2 static void add_row_combination_avx2(std::uint8_t* out, const std::uint8_t* base,
                                                       const std::uint8_t* const* once, std::size_t n_once,
                                                       const std::uint8_t* const* twice, std::size_t n_twice,
                                                       std::size_t vectors) {
  add_row_combination_body(out, base, once, n_once, twice, n_twice, vectors);
}

GF3MQ_TARGET_AVX512 static void add_row_combination_avx512(std::uint8_t* out, const std::uint8_t* base,
                                                           const std::uint8_t* const* once, std::size_t n_once,
                                                           const std::uint8_t* const* twice, std::size_t n_twice,
                                                           std::size_t vectors) {
  if (!combine_avx512(out, base, once, n_once, twice, n_twice, vectors))
    add_row_combination_body(out, base, once, n_once, twice, n_twice, vectors);
}

void add_row_combination(std::uint8_t* out, const std::uint8_t* base, const std::uint8_t* const* once,
                         std::size_t n_once, const std::uint8_t* const* twice, std::size_t n_twice,
                         std::size_t vectors) {
  at_kernel_width(add_row_combination_portable, add_row_combination_avx2, add_row_combination_avx512)(
      out, base, once, n_once, twice, n_twice, vectors);
}

}  // namespace gf3mq
