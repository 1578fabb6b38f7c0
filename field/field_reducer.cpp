#include "field/field_reducer.h"

#include <algorithm>
#include <cstring>

#include "field/field_tables.h"
#include "field/poly_mul.h"
#include "linalg/gf3_rows.h"

namespace gf3mq {

namespace {

// Element buffers padded to whole 32-byte vectors for the row kernel.
constexpr std::size_t kVectors = 10;
constexpr std::size_t kPadded = 32 * kVectors;  // 320 >= 257: whole 64-byte vectors too

// Rows of a sum taken once or twice, collected before one register-held pass.
struct RowTerms {
  const std::uint8_t* once[2 * kDefaultSizes.n];
  const std::uint8_t* twice[2 * kDefaultSizes.n];
  std::size_t n_once = 0;
  std::size_t n_twice = 0;

  // Branch-free: the factor of a random element is unpredictable.
  void add(const std::uint8_t* row, unsigned factor) {
    once[n_once] = row;
    twice[n_twice] = row;
    n_once += factor == 1;
    n_twice += factor == 2;
  }

  // Adds row_of(i, c[i]) with factor c[i] for every i < n with c[i] != 0,
  // c[i] in 0..2: eight coefficients at a time, visiting only the non-zero ones.
  template <typename RowOf>
  void add_nonzero(const std::uint8_t* c, std::size_t n, RowOf row_of) {
    constexpr std::uint64_t kLowBits = 0x0101010101010101ull;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
      std::uint64_t word;
      std::memcpy(&word, c + i, sizeof word);
      std::uint64_t ones = word & ~(word >> 1) & kLowBits;  // bytes equal to 1
      std::uint64_t twos = (word >> 1) & kLowBits;          // bytes equal to 2
      for (; ones != 0; ones &= ones - 1)
        once[n_once++] = row_of(i + static_cast<std::size_t>(__builtin_ctzll(ones)) / 8, 1u);
      for (; twos != 0; twos &= twos - 1)
        twice[n_twice++] = row_of(i + static_cast<std::size_t>(__builtin_ctzll(twos)) / 8, 2u);
    }
    for (; i < n; ++i)
      if (c[i] != 0) add(row_of(i, c[i]), c[i]);
  }
  // out = base + the rows, its first 257 elements (base holds kPadded bytes).
  void apply(const std::uint8_t* base, std::uint8_t* out) const {
    alignas(64) std::uint8_t result[kPadded];
    gf3mq::add_row_combination(result, base, once, n_once, twice, n_twice, kVectors);
    std::copy_n(result, kDefaultSizes.n, out);
    secure_wipe(result, sizeof result);
  }
};

// Table rows with kPadded readable bytes each. Rows lie 257 bytes apart, so
// all but the last one or two rows of a table can be read in place; those
// are handed out as padded copies.
class PaddedRows {
 public:
  explicit PaddedRows(const Mat_ZZ_p& table)
      : data_(table.data()), stride_(static_cast<std::size_t>(table.num_cols())), rows_(table.num_rows()) {
    const std::size_t block = static_cast<std::size_t>(rows_) * stride_;
    safe_rows_ = block < kPadded ? 0 : static_cast<int>((block - kPadded) / stride_) + 1;
  }
  const std::uint8_t* row(int r) {
    if (r < safe_rows_) return data_ + static_cast<std::size_t>(r) * stride_;
    std::uint8_t* copy = spare_[r - safe_rows_];
    std::fill_n(copy, kPadded, std::uint8_t{0});
    std::copy_n(data_ + static_cast<std::size_t>(r) * stride_, kDefaultSizes.n, copy);
    return copy;
  }

 private:
  const std::uint8_t* data_;
  std::size_t stride_;
  int rows_;
  int safe_rows_ = 0;
  std::uint8_t spare_[3][kPadded];  // kPadded / 257 + 2 rows at most
};

// Bytes of a product before reduction at n: x^0 .. x^(2n - 2) and zeros
// after them through x^(2n - 2 + 64), for the reads of a sparse reduction.
constexpr std::size_t product_bytes(int n) {
  const std::size_t length = static_cast<std::size_t>(n);
  return length <= kPolyMaxLength ? kPolyProductBytes : long_product_bytes(length) + 64;
}
static_assert(product_bytes(kLargestDegree) <= kSparseBufferBytes &&
              product_bytes(kDefaultSizes.n) == kPolyProductBytes);

// p[0..product_bytes(n)) = a * b as polynomials (mod 3).
void polynomial_product(const std::uint8_t* a, const std::uint8_t* b, int n, std::uint8_t* p) {
  const std::size_t length = static_cast<std::size_t>(n);
  if (length <= kPolyMaxLength) return poly_mul(a, b, length, p);
  poly_mul_long(a, b, length, p);
  std::fill_n(p + long_product_bytes(length), 64, std::uint8_t{0});
}

// Replaces x^257..x^512 of a product by table rows 0..255, row by row.
void reduce_with_rows(const std::uint8_t* product, const Mat_ZZ_p& table, std::uint8_t* out) {
  require_at_least(table, kDefaultSizes.n - 1, kDefaultSizes.n);
  // Whole vectors of kPadded bytes: x^0 .. x^256 and bytes past them that
  // are dropped (the product's own x^257 .. x^319 and the next row's start).
  RowTerms reduction;
  if (table.num_rows() > kDefaultSizes.n) {
    // Rows 0..255 all have a row after them: each can be read whole in place.
    const std::uint8_t* data = table.data();
    const std::size_t stride = static_cast<std::size_t>(table.num_cols());
    reduction.add_nonzero(product + kDefaultSizes.n, kDefaultSizes.n - 1,
                          [&](std::size_t r, unsigned) { return data + r * stride; });
  } else {
    PaddedRows rows(table);
    reduction.add_nonzero(product + kDefaultSizes.n, kDefaultSizes.n - 1,
                          [&](std::size_t r, unsigned) { return rows.row(static_cast<int>(r)); });
  }
  reduction.apply(product, out);
}

// x^k -> x^(3k): in place for k <= 85, table row 3k - 257 above.
void cube_with_rows(const std::uint8_t* y, const Mat_ZZ_p& table, std::uint8_t* out) {
  require_at_least(table, kDefaultSizes.reduction_rows(), kDefaultSizes.n);
  alignas(64) std::uint8_t spread[kPadded] = {};
  for (int k = 0; k <= 85; ++k) spread[3 * k] = y[k];
  RowTerms terms;
  PaddedRows rows(table);
  for (int k = 86; k < kDefaultSizes.n; ++k) terms.add(rows.row(3 * k - kDefaultSizes.n), y[k]);
  terms.apply(spread, out);
  secure_wipe(spread, sizeof spread);
}

// Whether every row r + 1 < 2n - 2 of the table is x * row r mod f.
bool rows_follow_from_row_zero(const Mat_ZZ_p& table, int n) {
  const std::uint8_t* row0 = table.row(0);
  const std::size_t width = static_cast<std::size_t>(n);
  std::uint8_t expected[kLargestDegree];
  for (int r = 0; r + 1 < 2 * n - 2; ++r) {
    const std::uint8_t* row = table.row(r);
    if (row[width - 1] > 2) return false;
    expected[0] = 0;
    std::copy_n(row, width - 1, expected + 1);  // x * row r, before x^n is folded back
    add_scaled_row(expected, row0, row[width - 1], width);
    if (std::memcmp(expected, table.row(r + 1), width) != 0) return false;
  }
  return true;
}

}  // namespace

// ---- RowReducer ----

RowReducer::RowReducer(const Mat_ZZ_p& table) : FieldReducer(kDefaultSizes.n), table_(table) {}

void RowReducer::product(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out) const {
  WipedScratch p(kPolyProductBytes);
  poly_mul(a, b, kDefaultSizes.n, p.bytes);
  reduce_with_rows(p.bytes, table_, out);
}

void RowReducer::cube(const std::uint8_t* y, std::uint8_t* out) const { cube_with_rows(y, table_, out); }

// ---- TabulatedReducer ----

void TabulatedReducer::product(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out) const {
  const int n = this->n();
  const std::size_t width = static_cast<std::size_t>(n);
  std::call_once(product_rows_ready_, [&] {  // rows 0..n-2
    require_at_least(table_, n - 1, n);
    product_rows_.assign(table_.data(), width - 1, static_cast<std::size_t>(table_.num_cols()), width);
  });
  WipedScratch p(product_bytes(n)), low(product_rows_.padded_width());
  polynomial_product(a, b, n, p.bytes);
  std::copy_n(p.bytes, width, low.bytes);
  std::fill(low.bytes + width, low.bytes + low.used, std::uint8_t{0});
  product_rows_.combine(low.bytes, p.bytes + width, low.bytes);  // + the terms x^n .. x^(2n - 2)
  std::copy_n(low.bytes, width, out);
}

void TabulatedReducer::cube(const std::uint8_t* y, std::uint8_t* out) const {
  // x^k -> x^(3k) in place for 3k < n, through table row 3k - n above.
  const int n = this->n(), first_high = (n + 2) / 3;
  std::call_once(cube_rows_ready_, [&] {
    require_at_least(table_, 2 * n - 2, n);
    const std::size_t stride = static_cast<std::size_t>(table_.num_cols());
    cube_rows_.assign(table_.data() + static_cast<std::size_t>(3 * first_high - n) * stride,
                      static_cast<std::size_t>(n - first_high), 3 * stride, static_cast<std::size_t>(n));
  });
  WipedScratch spread(cube_rows_.padded_width());
  std::fill_n(spread.bytes, spread.used, std::uint8_t{0});
  for (int k = 0; k < first_high; ++k) spread.bytes[3 * k] = y[k];
  cube_rows_.combine(spread.bytes, y + first_high, spread.bytes);
  std::copy_n(spread.bytes, n, out);
}

// ---- SparseReducer ----

std::optional<SparseForm> sparse_form_of(const Mat_ZZ_p& table, int n) {
  if (table.num_rows() < 2 * n - 2 || table.num_cols() < n) return std::nullopt;
  const std::optional<SparseForm> form = sparse_form_of(table.row(0), n);
  // The sparse way stands in for every row, so all of them must follow from row 0.
  if (!form || !rows_follow_from_row_zero(table, n)) return std::nullopt;
  return form;
}

void SparseReducer::product(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out) const {
  const int n = this->n();
  WipedScratch p(product_bytes(n));
  polynomial_product(a, b, n, p.bytes);
  reduce_sparse(p.bytes, n, 2 * n - 2, g_, out);
}

void SparseReducer::cube(const std::uint8_t* y, std::uint8_t* out) const {
  const int n = this->n();
  WipedScratch p(sparse_buffer_bytes(n));
  spread_to_cube(y, n, p.bytes);
  reduce_sparse(p.bytes, n, 3 * (n - 1), g_, out);
}

std::unique_ptr<FieldReducer> make_reducer(const Mat_ZZ_p& table, int n) {
  if (const std::optional<SparseForm> g = sparse_form_of(table, n)) return std::make_unique<SparseReducer>(*g, n);
  return std::make_unique<TabulatedReducer>(table, n);
}

}  // namespace gf3mq
