#include "linalg/gf3_rows.h"

#include <algorithm>
#include <cstring>

// Vector helpers below pass 32-byte vectors between inlined internal
// functions only; the note about their ABI without AVX does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

// The kernels are built twice on x86-64, once for AVX2 and once for the
// baseline, and the loader picks the version the processor runs.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define GF3MQ_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define GF3MQ_KERNEL
#endif

namespace gf3mq {

namespace {

// s mod 3 for s in 0..5, branch-free so that loops vectorise.
inline std::uint8_t fold_below_6(std::uint8_t s) {
  const std::uint8_t t = static_cast<std::uint8_t>(s - 3);
  return std::min(s, t);  // t wraps to a large value when s < 3
}

}  // namespace

GF3MQ_KERNEL void add_row(std::uint8_t* dst, const std::uint8_t* src, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) dst[i] = fold_below_6(static_cast<std::uint8_t>(dst[i] + src[i]));
}

GF3MQ_KERNEL void sub_row(std::uint8_t* dst, const std::uint8_t* src, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) dst[i] = fold_below_6(static_cast<std::uint8_t>(dst[i] + 3 - src[i]));
}

void add_scaled_row(std::uint8_t* dst, const std::uint8_t* src, unsigned k, std::size_t n) {
  if (k == 1) {
    add_row(dst, src, n);
  } else if (k == 2) {
    sub_row(dst, src, n);  // 2 * s = -s (mod 3)
  }
}

GF3MQ_KERNEL void scale_row(std::uint8_t* dst, const std::uint8_t* src, unsigned k, std::size_t n) {
  if (k == 0) {
    std::fill(dst, dst + n, std::uint8_t{0});
  } else if (k == 1) {
    std::copy(src, src + n, dst);
  } else {
    for (std::size_t i = 0; i < n; ++i) dst[i] = fold_below_6(static_cast<std::uint8_t>(3 - src[i]));
  }
}

GF3MQ_KERNEL void reduce_row(std::uint8_t* x, std::size_t n) {
  // Subtract 192, 96, ..., 3 where possible: each step halves the range.
  for (std::size_t i = 0; i < n; ++i) {
    std::uint8_t v = x[i];
    for (std::uint8_t c : {192, 96, 48, 24, 12, 6, 3}) v = std::min(v, static_cast<std::uint8_t>(v - c));
    x[i] = v;
  }
}

GF3MQ_KERNEL std::uint32_t dot_row(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
  std::uint32_t s = 0;
  for (std::size_t i = 0; i < n; ++i) s += static_cast<std::uint32_t>(a[i]) * b[i];
  return s;
}

GF3MQ_KERNEL void accumulate_row(std::uint8_t* acc, const std::uint8_t* src, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) acc[i] = static_cast<std::uint8_t>(acc[i] + src[i]);
}

}  // namespace gf3mq

namespace gf3mq {

namespace {

// 32 bytes as one vector; the compiler maps it onto the widest registers the
// clone is built for.
typedef std::uint8_t Bytes32 __attribute__((vector_size(32)));

[[gnu::always_inline]] inline Bytes32 load32(const std::uint8_t* p) {
  Bytes32 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

[[gnu::always_inline]] inline void store32(std::uint8_t* p, Bytes32 v) { std::memcpy(p, &v, sizeof v); }

// v mod 3 for every byte: subtract 192, 96, ..., 3 where that does not wrap
// (a wrapped difference is larger than v, so the minimum keeps v).
[[gnu::always_inline]] inline Bytes32 reduce32(Bytes32 v) {
  for (std::uint8_t c : {192, 96, 48, 24, 12, 6, 3}) {
    const Bytes32 t = v - c;
    v = v < t ? v : t;
  }
  return v;
}

constexpr std::size_t kBlockVectors = 8;  // 256 bytes held in registers
constexpr std::size_t kBlockBytes = kBlockVectors * 32;

}  // namespace

GF3MQ_KERNEL void combine_rows(std::uint8_t* out, const std::uint8_t* coeffs, std::ptrdiff_t coeff_step,
                               const std::uint8_t* rows, const std::uint8_t* doubled, std::size_t n_terms,
                               std::size_t stride, std::size_t width) {
  // Columns in blocks of 256 bytes kept in registers across all terms; the
  // columns after the last whole vector are summed one byte at a time.
  std::size_t column = 0;
  for (; column + 32 <= width; column += kBlockBytes) {
    const std::size_t vectors = std::min(kBlockVectors, (width - column) / 32);
    Bytes32 acc[kBlockVectors] = {};
    int pending = 0;
    for (std::size_t j = 0; j < n_terms; ++j) {
      const std::uint8_t k = coeffs[static_cast<std::ptrdiff_t>(j) * coeff_step];
      if (k == 0) continue;
      const std::uint8_t* row = (k == 1 ? rows : doubled) + j * stride + column;
      if (vectors == kBlockVectors) {
        for (std::size_t q = 0; q < kBlockVectors; ++q) acc[q] += load32(row + 32 * q);
      } else {
        for (std::size_t q = 0; q < vectors; ++q) acc[q] += load32(row + 32 * q);
      }
      if (++pending == kAccumulateLimit) {
        for (auto& v : acc) v = reduce32(v);
        pending = 0;
      }
    }
    for (std::size_t q = 0; q < vectors; ++q) store32(out + column + 32 * q, reduce32(acc[q]));
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

namespace {

constexpr std::size_t kGroupEntries = 27;

}  // namespace

void RowCombinationTables::assign(const std::uint8_t* rows, std::size_t n, std::size_t stride, std::size_t width) {
  n_ = n;
  groups_ = (n + 2) / 3;
  entries_.assign(groups_ * kGroupEntries * kPaddedRow, 0);
  std::uint8_t padded[3][kPaddedRow];
  for (std::size_t g = 0; g < groups_; ++g) {
    for (std::size_t p = 0; p < 3; ++p) {
      std::fill_n(padded[p], kPaddedRow, std::uint8_t{0});
      const std::size_t j = 3 * g + p;
      if (j < n) std::copy_n(rows + j * stride, std::min(width, kPaddedRow), padded[p]);
    }
    std::uint8_t* table = entries_.data() + g * kGroupEntries * kPaddedRow;
    // Entry v from entry v - 3^p, p the lowest non-zero base-3 digit of v.
    for (std::size_t v = 1; v < kGroupEntries; ++v) {
      const std::size_t p = v % 3 != 0 ? 0 : (v / 3) % 3 != 0 ? 1 : 2;
      const std::size_t power = p == 0 ? 1 : p == 1 ? 3 : 9;
      std::uint8_t* entry = table + v * kPaddedRow;
      std::copy_n(table + (v - power) * kPaddedRow, kPaddedRow, entry);
      add_row(entry, padded[p], kPaddedRow);
    }
  }
}

void RowCombinationTables::combine(std::uint8_t* out, const std::uint8_t* coeffs, const std::uint8_t* base) const {
  constexpr std::size_t kStackGroups = 128;
  std::uint8_t on_stack[kStackGroups];
  std::vector<std::uint8_t> on_heap;
  std::uint8_t* indices = on_stack;
  if (groups_ > kStackGroups) {
    on_heap.resize(groups_);
    indices = on_heap.data();
  }
  for (std::size_t g = 0; g < groups_; ++g) {
    const std::size_t j = 3 * g;
    unsigned index = coeffs[j];
    if (j + 1 < n_) index += 3u * coeffs[j + 1];
    if (j + 2 < n_) index += 9u * coeffs[j + 2];
    indices[g] = static_cast<std::uint8_t>(index);
  }
  combine_indexed(out, indices, 1, base);
}

void RowCombinationTables::combine_indexed(std::uint8_t* out, const std::uint8_t* indices, std::size_t index_step,
                                           const std::uint8_t* base) const {
  alignas(64) static const std::uint8_t zeros[kPaddedRow] = {};
  constexpr std::size_t kStackGroups = 128;
  const std::uint8_t* on_stack[kStackGroups];
  std::vector<const std::uint8_t*> on_heap;
  const std::uint8_t** picked = on_stack;
  if (groups_ > kStackGroups) {
    on_heap.resize(groups_);
    picked = on_heap.data();
  }
  for (std::size_t g = 0; g < groups_; ++g)
    picked[g] = entries_.data() + (g * kGroupEntries + indices[g * index_step]) * kPaddedRow;
  add_row_combination(out, base != nullptr ? base : zeros, picked, groups_, nullptr, 0, kPaddedRow / 32);
}

namespace {

// The register part of add_row_combination for exactly V vectors. A row
// taken once adds at most 2 per byte, a row taken twice adds 3 - row (the
// same mod 3), at most 3; the sums are reduced before they could pass 255.
template <std::size_t V>
[[gnu::always_inline]] inline void combine_vectors(std::uint8_t* out, const std::uint8_t* base,
                                                   const std::uint8_t* const* once, std::size_t n_once,
                                                   const std::uint8_t* const* twice, std::size_t n_twice) {
  constexpr unsigned kHeadroom = 255 - 3;
  Bytes32 acc[V];
  for (std::size_t q = 0; q < V; ++q) acc[q] = load32(base + 32 * q);
  unsigned bound = 2;  // largest possible byte so far
  auto make_room = [&](unsigned next) {
    bound += next;
    if (bound > kHeadroom) {
      for (std::size_t q = 0; q < V; ++q) acc[q] = reduce32(acc[q]);
      bound = 2;
    }
  };
  for (std::size_t j = 0; j < n_once; ++j) {
    for (std::size_t q = 0; q < V; ++q) acc[q] += load32(once[j] + 32 * q);
    make_room(2);
  }
  const Bytes32 three = Bytes32{} + 3;
  for (std::size_t j = 0; j < n_twice; ++j) {
    for (std::size_t q = 0; q < V; ++q) acc[q] += three - load32(twice[j] + 32 * q);
    make_room(3);
  }
  for (std::size_t q = 0; q < V; ++q) store32(out + 32 * q, reduce32(acc[q]));
}

}  // namespace

// Processors with AVX-512 hold a whole product of two field elements (576
// bytes) in nine registers; the others go through it in 288-byte parts.
#if defined(__x86_64__) && defined(__GNUC__)
#define GF3MQ_HAVE_AVX512_KERNEL 1

namespace {

typedef std::uint8_t Bytes64 __attribute__((vector_size(64)));

__attribute__((target("avx512bw"), always_inline)) inline Bytes64 load64(const std::uint8_t* p) {
  Bytes64 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// v mod 3 for every byte, as reduce32.
__attribute__((target("avx512bw"), always_inline)) inline Bytes64 reduce64(Bytes64 v) {
  for (std::uint8_t c : {192, 96, 48, 24, 12, 6, 3}) {
    const Bytes64 t = v - c;
    v = v < t ? v : t;
  }
  return v;
}

template <std::size_t V>
__attribute__((target("avx512bw"), always_inline)) inline void combine_vectors64(
    std::uint8_t* out, const std::uint8_t* base, const std::uint8_t* const* once, std::size_t n_once,
    const std::uint8_t* const* twice, std::size_t n_twice) {
  // Rows taken once and rows taken twice are summed apart (32 registers
  // hold both sums); the second sum is doubled at the end.
  constexpr std::size_t kTermsPerReduction = 126;  // 2 + 126 * 2 <= 255
  Bytes64 acc[V], doubled[V] = {};
  for (std::size_t q = 0; q < V; ++q) acc[q] = load64(base + 64 * q);
  for (std::size_t first = 0; first < n_once; first += kTermsPerReduction) {
    const std::size_t last = std::min(n_once, first + kTermsPerReduction);
    for (std::size_t j = first; j < last; ++j) {
      if (j + 8 < n_once)
        for (std::size_t q = 0; q < V; ++q) __builtin_prefetch(once[j + 8] + 64 * q);
      for (std::size_t q = 0; q < V; ++q) acc[q] += load64(once[j] + 64 * q);
    }
    for (auto& v : acc) v = reduce64(v);
  }
  for (std::size_t first = 0; first < n_twice; first += kTermsPerReduction) {
    const std::size_t last = std::min(n_twice, first + kTermsPerReduction);
    for (std::size_t j = first; j < last; ++j)
      for (std::size_t q = 0; q < V; ++q) doubled[q] += load64(twice[j] + 64 * q);
    for (auto& v : doubled) v = reduce64(v);
  }
  for (std::size_t q = 0; q < V; ++q) {
    const Bytes64 v = reduce64(acc[q] + doubled[q] + doubled[q]);  // at most 2 + 4
    std::memcpy(out + 64 * q, &v, sizeof v);
  }
}

__attribute__((target("avx512bw"))) bool combine_avx512(std::uint8_t* out, const std::uint8_t* base,
                                                        const std::uint8_t* const* once, std::size_t n_once,
                                                        const std::uint8_t* const* twice, std::size_t n_twice,
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

// A window of 64 terms of a polynomial product, taken two at a time: the
// pair (a_i, a_(i+1)) adds entry a_i + 3 a_(i+1) of `pairs` (a_i b +
// a_(i+1) x b) shifted by i, which covers the 320 coefficients from x^(64 G).
template <int G>
__attribute__((target("avx512bw"), always_inline)) inline void product_window(Bytes64 (&acc)[9],
                                                                              const std::uint8_t* pairs,
                                                                              const std::uint8_t* a, int length) {
  constexpr int kPad = 256;
  const int first = 64 * G, last = std::min(first + 64, length);
  for (int i = first; i < last; i += 2) {
    const unsigned next = i + 1 < length ? a[i + 1] : 0u;
    const std::uint8_t* row = pairs + (a[i] + 3u * next) * kPolyProductBytes + kPad - i + first;
    for (int q = 0; q < 5; ++q) acc[G + q] += load64(row + 64 * q);
  }
  for (int q = 0; q < 5; ++q) acc[G + q] = reduce64(acc[G + q]);
}

// Stores zeros over n bytes (a multiple of 64) and keeps the stores: the
// barrier tells the compiler the memory is still looked at.
__attribute__((target("avx512bw"), always_inline)) inline void wipe64(std::uint8_t* p, std::size_t n) {
  const Bytes64 zero = {};
  for (std::size_t i = 0; i < n; i += 64) std::memcpy(p + i, &zero, sizeof zero);
  asm volatile("" : : "r"(p) : "memory");
}

__attribute__((target("avx512bw"))) void poly_mul_avx512(const std::uint8_t* a, const std::uint8_t* b,
                                                         std::size_t length, std::uint8_t* product) {
  // The nine combinations c0 b + c1 x b, each with 256 zeros in front; the
  // windows read an entry from offset 192 on, and b and x b end by 514.
  constexpr std::size_t kPad = 256, kFrom = 192;
  alignas(64) std::uint8_t bases[3][kPolyProductBytes];  // 0, b, 2b, each after kPad zeros
  alignas(64) std::uint8_t pairs[9][kPolyProductBytes];
  alignas(64) std::uint8_t residues[kPolyProductBytes - kPad];  // a mod 3, then zeros
  wipe64(bases[0], sizeof bases);
  wipe64(residues, sizeof residues);
  std::copy_n(b, length, bases[1] + kPad);
  std::copy_n(a, length, residues);
  const Bytes64 three = Bytes64{} + 3;
  for (std::size_t q = 0; q < 5; ++q) {
    const Bytes64 once = reduce64(load64(bases[1] + kPad + 64 * q));
    Bytes64 twice = once + once;
    const Bytes64 less = twice - three;
    twice = twice < less ? twice : less;
    std::memcpy(bases[1] + kPad + 64 * q, &once, sizeof once);
    std::memcpy(bases[2] + kPad + 64 * q, &twice, sizeof twice);
    const Bytes64 r = reduce64(load64(residues + 64 * q));
    std::memcpy(residues + 64 * q, &r, sizeof r);
  }
  a = residues;
  for (int c1 = 0; c1 <= 2; ++c1) {
    for (int c0 = 0; c0 <= 2; ++c0) {
      std::uint8_t* entry = pairs[c0 + 3 * c1];
      const Bytes64 zero = {};
      std::memcpy(entry + kFrom, &zero, sizeof zero);
      for (std::size_t q = 0; q < 5; ++q) {
        // c0 b(k) + c1 b(k - 1): the second read starts one byte earlier.
        Bytes64 sum = load64(bases[c0] + kPad + 64 * q) + load64(bases[c1] + kPad - 1 + 64 * q);
        const Bytes64 less = sum - three;
        sum = sum < less ? sum : less;
        std::memcpy(entry + kPad + 64 * q, &sum, sizeof sum);
      }
    }
  }
  Bytes64 acc[9] = {};
  const int n = static_cast<int>(length);
  product_window<0>(acc, pairs[0], a, n);
  if (n > 64) product_window<1>(acc, pairs[0], a, n);
  if (n > 128) product_window<2>(acc, pairs[0], a, n);
  if (n > 192) product_window<3>(acc, pairs[0], a, n);
  if (n > 256) product_window<4>(acc, pairs[0], a, n);
  std::memcpy(product, acc, sizeof acc);
  // Copies and multiples of secret factors.
  for (auto& entry : pairs) wipe64(entry + kFrom, kPolyProductBytes - kFrom);
  wipe64(bases[0], sizeof bases);
  wipe64(residues, sizeof residues);
}

bool avx512_enabled = true;

bool has_avx512() {
  static const bool supported = __builtin_cpu_supports("avx512bw");
  return supported && avx512_enabled;
}

}  // namespace
#endif

GF3MQ_KERNEL void add_row_combination(std::uint8_t* out, const std::uint8_t* base, const std::uint8_t* const* once,
                                      std::size_t n_once, const std::uint8_t* const* twice, std::size_t n_twice,
                                      std::size_t vectors) {
#ifdef GF3MQ_HAVE_AVX512_KERNEL
  if (has_avx512() && combine_avx512(out, base, once, n_once, twice, n_twice, vectors)) return;
#endif
  // Parts of at most nine vectors, each summed in registers.
  std::vector<const std::uint8_t*> rows_once(once, once + n_once), rows_twice(twice, twice + n_twice);
  for (std::size_t done = 0; done < vectors;) {
    const std::size_t part = std::min<std::size_t>(9, vectors - done);
    std::uint8_t* part_out = out + 32 * done;
    const std::uint8_t* part_base = base + 32 * done;
    switch (part) {
      case 9:
        combine_vectors<9>(part_out, part_base, rows_once.data(), n_once, rows_twice.data(), n_twice);
        break;
      case 8:
        combine_vectors<8>(part_out, part_base, rows_once.data(), n_once, rows_twice.data(), n_twice);
        break;
      case 1:
        combine_vectors<1>(part_out, part_base, rows_once.data(), n_once, rows_twice.data(), n_twice);
        break;
      default:
        for (std::size_t q = 0; q < part; ++q) {
          combine_vectors<1>(part_out + 32 * q, part_base + 32 * q, rows_once.data(), n_once, rows_twice.data(),
                             n_twice);
          for (auto& row : rows_once) row += 32;
          for (auto& row : rows_twice) row += 32;
        }
        for (auto& row : rows_once) row -= 32 * part;
        for (auto& row : rows_twice) row -= 32 * part;
    }
    for (auto& row : rows_once) row += 32 * part;
    for (auto& row : rows_twice) row += 32 * part;
    done += part;
  }
}

void poly_mul(const std::uint8_t* a, const std::uint8_t* b, std::size_t length, std::uint8_t* product) {
#ifdef GF3MQ_HAVE_AVX512_KERNEL
  if (has_avx512()) {
    poly_mul_avx512(a, b, length, product);
    return;
  }
#endif
  // Residues first: the kernels below take coefficients 0, 1, 2 only.
  std::uint8_t ra[kPolyMaxLength], rb[kPolyMaxLength];
  std::copy_n(a, length, ra);
  std::copy_n(b, length, rb);
  reduce_row(ra, length);
  reduce_row(rb, length);
  // Coefficient e is the sum over i of a_i b(e - i). With b between zeros,
  // term i is the row read from offset 256 - i. Terms i of one block of 64
  // touch only the 320 coefficients from x^(i & ~63) on, so each block is
  // summed over that window and then added in.
  constexpr std::size_t kPad = 256, kBlock = 64;
  alignas(64) std::uint8_t shifted[kPolyProductBytes] = {};
  std::copy_n(rb, length, shifted + kPad);
  std::fill_n(product, kPolyProductBytes, std::uint8_t{0});
  const std::uint8_t* once[kBlock];
  const std::uint8_t* twice[kBlock];
  for (std::size_t first = 0; first < length; first += kBlock) {
    std::size_t n_once = 0, n_twice = 0;
    const std::size_t last = std::min(first + kBlock, length);
    for (std::size_t i = first; i < last; ++i) {
      const std::uint8_t* row = shifted + kPad - i + first;
      once[n_once] = row;
      twice[n_twice] = row;
      n_once += ra[i] == 1;
      n_twice += ra[i] == 2;
    }
    add_row_combination(product + first, product + first, once, n_once, twice, n_twice, 10);
  }
  secure_wipe(shifted, sizeof shifted);
  secure_wipe(ra, sizeof ra);
  secure_wipe(rb, sizeof rb);
}

void set_avx512_kernels(bool enabled) {
#ifdef GF3MQ_HAVE_AVX512_KERNEL
  avx512_enabled = enabled;
#else
  (void)enabled;
#endif
}

}  // namespace gf3mq
