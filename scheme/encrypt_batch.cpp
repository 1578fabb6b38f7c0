#include "scheme/encrypt_batch.h"

#include <algorithm>

#include "field/field_tables.h"
#include "linalg/combination_tables.h"
#include "runtime/simd_bytes.h"
#include "scheme/key_files.h"

namespace gf3mq {

namespace {

constexpr std::size_t kEntries = 27;

// Groups of three elements of a row of `length`.
constexpr std::size_t groups_of(std::size_t length) { return (length + 2) / 3; }

// Indices per form of n variables: ceil(k / 3) for row k = 1..n-1, then
// ceil(n / 3) for the linear row.
constexpr std::size_t indices_per_form(std::size_t n) {
  std::size_t count = groups_of(n);
  for (std::size_t k = 1; k < n; ++k) count += groups_of(k);
  return count;
}

// Table entries hold the 64 lanes in 32 bytes: lane t in the low nibble of
// byte t for t < 32, in the high nibble of byte t - 32 otherwise. Up to
// kNibbleTerms entries (each at most 2) are added before the nibbles are
// split into byte sums; a row's byte sums are reduced after
// kBlocksPerReduction such blocks (86 groups of the default n need none).
constexpr std::size_t kEntryBytes = kBatch / 2;
constexpr std::size_t kNibbleTerms = 7;
static_assert(kNibbleTerms * 2 <= 15, "a sum of entries must fit a nibble");
constexpr std::size_t kBlocksPerReduction = 17;
static_assert(2 + kBlocksPerReduction * kNibbleTerms * 2 <= 255, "a row's sum of table entries must fit a byte");
static_assert(groups_of(kDefaultSizes.n) < kBlocksPerReduction * kNibbleTerms);
// The batch sum of a form adds at most 4 per row and is reduced every
// kRowsPerReduction rows.
constexpr std::size_t kRowsPerReduction = 63;
static_assert(2 + kRowsPerReduction * 4 <= 255, "the form's sum between reductions must fit a byte");

using simd::Bytes32;

// An entry of the batch table: 64 lanes in 32 bytes, two nibbles a byte
// (lane t in the low nibble of byte t for t < 32, the high nibble of byte
// t - 32 otherwise); a row is a column of the batch, 64 elements 0..2.
struct NibbleLaneEntry {
  using Unit = std::uint8_t;
  using Row = const std::uint8_t*;
  static void add(Unit* entry, Row column, std::size_t units) {
    for (std::size_t b = 0; b < units; ++b)
      entry[b] =
          static_cast<std::uint8_t>(((entry[b] & 15) + column[b]) % 3 | ((entry[b] >> 4) + column[b + 32]) % 3 << 4);
  }
};

[[gnu::always_inline]] inline Bytes32 times(Bytes32 x, Bytes32 s) {
  // x * s for x, s in 0..2: s where x is 1, 2 s where x is 2 (at most 4).
  const Bytes32 one = x == 1, two = x == 2;
  return (s & one) + ((s + s) & two);
}

// Half sums of the entries row[0..groups) of the table: lanes 0..31 in lo,
// 32..63 in hi, each byte at most 2 * groups.
struct Halves {
  Bytes32 lo = {}, hi = {};
};

[[gnu::always_inline]] inline Bytes32 entry(const std::uint8_t* table, std::size_t g, std::uint8_t index) {
  return simd::load<Bytes32>(table + (g * kEntries + index) * kEntryBytes);
}

[[gnu::always_inline]] inline void add_nibbles(Halves& sum, Bytes32 nibbles) {
  sum.lo += nibbles & 0x0F;
  sum.hi += nibbles >> 4;
}

[[gnu::always_inline]] inline Halves row_sum(const std::uint8_t* row, std::size_t groups, const std::uint8_t* table) {
  Halves sum;
  std::size_t g = 0;
  for (std::size_t blocks = 1; g + kNibbleTerms <= groups; g += kNibbleTerms, ++blocks) {
    Bytes32 nibbles = {};
    for (std::size_t q = 0; q < kNibbleTerms; ++q) nibbles += entry(table, g + q, row[g + q]);
    add_nibbles(sum, nibbles);
    if (blocks % kBlocksPerReduction == 0) {
      simd::reduce_in_place(sum.lo);
      simd::reduce_in_place(sum.hi);
    }
  }
  Bytes32 nibbles = {};
  for (; g < groups; ++g) nibbles += entry(table, g, row[g]);
  add_nibbles(sum, nibbles);
  return sum;
}

[[gnu::always_inline]] inline void encrypt_kernel_body(std::size_t n, const std::uint8_t* indices,
                                                       const std::uint8_t* table, const std::uint8_t* columns,
                                                       std::uint8_t* sums) {
  // sums[i * 64 + t] = c_i of plaintext t, for every form i.
  const std::size_t per_form = indices_per_form(n);
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t* row = indices + i * per_form;
    Halves total;
    std::size_t pending = 0;
    for (std::size_t k = 1; k < n; ++k) {
      const std::size_t groups = (k + 2) / 3;
      const Halves s = row_sum(row, groups, table);
      row += groups;
      total.lo += times(simd::load<Bytes32>(columns + k * kBatch), simd::reduce(s.lo));
      total.hi += times(simd::load<Bytes32>(columns + k * kBatch + 32), simd::reduce(s.hi));
      if (++pending == kRowsPerReduction) {
        total.lo = simd::reduce(total.lo);
        total.hi = simd::reduce(total.hi);
        pending = 0;
      }
    }
    const Halves linear = row_sum(row, groups_of(n), table);
    simd::store(sums + i * kBatch, simd::reduce(simd::reduce(total.lo) + simd::reduce(linear.lo)));
    simd::store(sums + i * kBatch + 32, simd::reduce(simd::reduce(total.hi) + simd::reduce(linear.hi)));
  }
}

GF3MQ_KERNEL_AT_THREE_WIDTHS(void, encrypt_kernel,
                             (std::size_t n, const std::uint8_t* indices, const std::uint8_t* table,
                              const std::uint8_t* columns, std::uint8_t* sums),
                             (n, indices, table, columns, sums))

}  // namespace

// The indices of the first `length` elements of a stored row, three at a
// time (missing elements count as 0); returns the next free index.
std::uint8_t* prepare_row(const unsigned char* row, std::size_t length, std::uint8_t* out) {
  std::uint8_t digits[groups_of(kLargestDegree) * 3] = {};
  for (std::size_t j = 0; j < length; ++j) digits[j] = static_cast<std::uint8_t>(row[j] % 3);
  const std::size_t groups = (length + 2) / 3;
  for (std::size_t g = 0; g < groups; ++g)
    out[g] = static_cast<std::uint8_t>(digits[3 * g] + 3 * digits[3 * g + 1] + 9 * digits[3 * g + 2]);
  return out + groups;
}

PreparedPublicKey::PreparedPublicKey(const Sizes& sizes, const unsigned char* pk)
    : n_(sizes.elements()), indices_(sizes.elements() * indices_per_form(sizes.elements())) {
  const std::size_t side = static_cast<std::size_t>(sizes.variables_and_one());
  std::uint8_t* out = indices_.data();
  for (std::size_t i = 0; i < n_; ++i) {
    const unsigned char* form = pk + i * sizes.form_digits();
    // Row k: the elements j < k only (the rest of a stored row is never read).
    for (std::size_t k = 1; k < n_; ++k) out = prepare_row(form + k * side, k, out);
    out = prepare_row(form + n_ * side, n_, out);
  }
}

void PreparedPublicKey::encrypt(const unsigned char* m, std::size_t count, unsigned char* c) const {
  for (std::size_t first = 0; first < count; first += kBatch)
    encrypt_batch(m + first * n_, std::min(kBatch, count - first), c + first * n_);
}

void PreparedPublicKey::encrypt_batch(const unsigned char* m, std::size_t count, unsigned char* c) const {
  // The batch by columns: columns[j * 64 + t] = x_t[j] mod 3 (0 past count).
  SecretVector<std::uint8_t> columns(n_ * kBatch, 0), sums(n_ * kBatch);
  for (std::size_t t = 0; t < count; ++t)
    for (std::size_t j = 0; j < n_; ++j) columns[j * kBatch + t] = static_cast<std::uint8_t>(m[t * n_ + j] % 3);
  CombinationTables<NibbleLaneEntry> table;
  table.assign(n_, 3, kEntryBytes, [&](std::size_t j) { return columns.data() + j * kBatch; });
  encrypt_kernel(n_, indices_.data(), table.entry(0, 0), columns.data(), sums.data());
  for (std::size_t t = 0; t < count; ++t)
    for (std::size_t i = 0; i < n_; ++i) c[t * n_ + i] = sums[i * kBatch + t];
}

}  // namespace gf3mq
