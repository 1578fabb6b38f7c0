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
  const std::uint8_t* once[2 * kDegree];
  const std::uint8_t* twice[2 * kDegree];
  std::size_t n_once = 0;
  std::size_t n_twice = 0;

  // Branch-free: the factor of a random element is unpredictable.
  void add(const std::uint8_t* row, unsigned factor) {
    once[n_once] = row;
    twice[n_twice] = row;
    n_once += factor == 1;
    n_twice += factor == 2;
  }
  void clear() { n_once = n_twice = 0; }

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
  void apply(std::uint8_t* out, const std::uint8_t* base, std::size_t vectors) const {
    gf3mq::add_row_combination(out, base, once, n_once, twice, n_twice, vectors);
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
    std::copy_n(data_ + static_cast<std::size_t>(r) * stride_, kDegree, copy);
    return copy;
  }

 private:
  const std::uint8_t* data_;
  std::size_t stride_;
  int rows_;
  int safe_rows_ = 0;
  std::uint8_t spare_[3][kPadded];  // kPadded / 257 + 2 rows at most
};

constexpr std::size_t kProductBytes = kPolyProductBytes;  // x^0 .. x^512, padded

// product = a * b as polynomials (mod 3), x^0 .. x^512.
void polynomial_product(const FieldElem& a, const FieldElem& b, std::uint8_t (&product)[kProductBytes]) {
  poly_mul(a.coef, b.coef, kDegree, product);
}

// out = product mod f with tabulated combinations of rows 0..255, three at a time.
void reduce_product(const std::uint8_t (&product)[kProductBytes], const RowCombinationTables& high_rows,
                    FieldElem& out) {
  alignas(64) std::uint8_t low[kPaddedRow];
  std::copy_n(product, kDegree, low);
  std::fill(low + kDegree, low + kPaddedRow, std::uint8_t{0});
  high_rows.combine(low, product + kDegree, low);
  std::copy_n(low, kDegree, out.coef);
}

// Cubing: x^k -> x^(3k) in place for k <= 85; terms k >= 86 through table
// row 3k - 257, tabulated three rows at a time in high_rows.
void cube_with_tables(const FieldElem& y, const RowCombinationTables& high_rows, FieldElem& out) {
  alignas(64) std::uint8_t result[kPaddedRow] = {};
  for (int k = 0; k <= 85; ++k) result[3 * k] = y.coef[k];
  high_rows.combine(result, y.coef + 86, result);
  std::copy_n(result, kDegree, out.coef);
}

// Table rows 3k - 257 for k = 86..256 (rows 1, 4, ..., 511), three rows apart.
void tabulate_cube_rows(const Mat_ZZ_p& table, gf3mq::RowCombinationTables& tables) {
  require_at_least(table, kReductionRows, kDegree);
  const std::size_t stride = static_cast<std::size_t>(table.num_cols());
  tables.assign(table.data() + stride, kDegree - 86, 3 * stride, kDegree);
}

// Table rows 0..255.
void tabulate_product_rows(const Mat_ZZ_p& table, gf3mq::RowCombinationTables& tables) {
  require_at_least(table, kDegree - 1, kDegree);
  tables.assign(table.data(), kDegree - 1, static_cast<std::size_t>(table.num_cols()), kDegree);
}

// Replaces x^257..x^512 of a product by table rows 0..255, row by row.
void reduce_with_rows(std::uint8_t (&product)[kProductBytes], const Mat_ZZ_p& table, FieldElem& out) {
  require_at_least(table, kDegree - 1, kDegree);
  // Whole vectors of kPadded bytes: x^0 .. x^256 and bytes past them that
  // are dropped (the product's own x^257 .. x^319 and the next row's start).
  RowTerms reduction;
  if (table.num_rows() > kDegree) {
    // Rows 0..255 all have a row after them: each can be read whole in place.
    const std::uint8_t* data = table.data();
    const std::size_t stride = static_cast<std::size_t>(table.num_cols());
    reduction.add_nonzero(product + kDegree, kDegree - 1, [&](std::size_t r, unsigned) { return data + r * stride; });
  } else {
    PaddedRows rows(table);
    reduction.add_nonzero(product + kDegree, kDegree - 1,
                          [&](std::size_t r, unsigned) { return rows.row(static_cast<int>(r)); });
  }
  alignas(64) std::uint8_t result[kPadded];
  reduction.apply(result, product, kVectors);
  std::copy_n(result, kDegree, out.coef);
  secure_wipe(result, sizeof result);
}

// x^k -> x^(3k): in place for k <= 85, table row 3k - 257 above.
void cube_with_rows(const FieldElem& y, const Mat_ZZ_p& table, FieldElem& out) {
  require_at_least(table, kReductionRows, kDegree);
  alignas(64) std::uint8_t spread[kPadded] = {};
  for (int k = 0; k <= 85; ++k) spread[3 * k] = y.coef[k];
  RowTerms terms;
  PaddedRows rows(table);
  for (int k = 86; k < kDegree; ++k) terms.add(rows.row(3 * k - kDegree), y.coef[k]);
  alignas(64) std::uint8_t result[kPadded];
  terms.apply(result, spread, kVectors);
  std::copy_n(result, kDegree, out.coef);
  secure_wipe(result, sizeof result);
  secure_wipe(spread, sizeof spread);
}

// Whether every row r + 1 < rows of the table is x * row r mod f.
bool rows_follow_from_row_zero(const Mat_ZZ_p& table, int rows) {
  const std::uint8_t* row0 = table.row(0);
  std::uint8_t expected[kDegree];
  for (int r = 0; r + 1 < rows; ++r) {
    const std::uint8_t* row = table.row(r);
    if (row[kDegree - 1] > 2) return false;
    expected[0] = 0;
    std::copy_n(row, kDegree - 1, expected + 1);  // x * row r, before x^257 is folded back
    add_scaled_row(expected, row0, row[kDegree - 1], kDegree);
    if (std::memcmp(expected, table.row(r + 1), kDegree) != 0) return false;
  }
  return true;
}

}  // namespace

// ---- RowReducer ----

void RowReducer::product(const FieldElem& a, const FieldElem& b, FieldElem& out) const {
  alignas(64) std::uint8_t product[kProductBytes];
  polynomial_product(a, b, product);
  reduce_with_rows(product, table_, out);
  secure_wipe(product, sizeof product);
}

void RowReducer::cube(const FieldElem& y, FieldElem& out) const { cube_with_rows(y, table_, out); }

// ---- TabulatedReducer ----

void TabulatedReducer::product(const FieldElem& a, const FieldElem& b, FieldElem& out) const {
  std::call_once(product_rows_ready_, [this] { tabulate_product_rows(table_, product_rows_); });
  alignas(64) std::uint8_t product[kProductBytes];
  polynomial_product(a, b, product);
  reduce_product(product, product_rows_, out);
  secure_wipe(product, sizeof product);
}

void TabulatedReducer::cube(const FieldElem& y, FieldElem& out) const {
  std::call_once(cube_rows_ready_, [this] { tabulate_cube_rows(table_, cube_rows_); });
  cube_with_tables(y, cube_rows_, out);
}

// ---- SparseReducer ----

std::optional<SparseForm> sparse_form_of_row_zero(const Mat_ZZ_p& table) {
  if (table.num_rows() < 1 || table.num_cols() < kDegree) return std::nullopt;
  return sparse_form_of(table.row(0), kDegree);
}

std::optional<SparseForm> sparse_form_of(const Mat_ZZ_p& table) {
  if (table.num_rows() < kReductionRows) return std::nullopt;
  const std::optional<SparseForm> form = sparse_form_of_row_zero(table);
  // The sparse way stands in for every row, so all of them must follow from row 0.
  if (!form || !rows_follow_from_row_zero(table, kReductionRows)) return std::nullopt;
  return form;
}

// A cube or product of 257 before reduction.
constexpr std::size_t kBufferBytes = sparse_buffer_bytes(kDegree);

void SparseReducer::product(const FieldElem& a, const FieldElem& b, FieldElem& out) const {
  alignas(64) std::uint8_t p[kBufferBytes];
  static_assert(kProductBytes <= kBufferBytes);
  poly_mul(a.coef, b.coef, kDegree, p);
  std::fill(p + kProductBytes, p + kBufferBytes, std::uint8_t{0});
  reduce_sparse(p, kDegree, 2 * kDegree - 2, g_, out.coef);
  secure_wipe(p, sizeof p);
}

void SparseReducer::cube(const FieldElem& y, FieldElem& out) const {
  alignas(64) std::uint8_t p[kBufferBytes];
  spread_to_cube(y.coef, kDegree, p);
  reduce_sparse(p, kDegree, 3 * (kDegree - 1), g_, out.coef);
  secure_wipe(p, sizeof p);
}

std::unique_ptr<FieldReducer> make_reducer(const Mat_ZZ_p& table) {
  if (const std::optional<SparseForm> g = sparse_form_of(table)) return std::make_unique<SparseReducer>(*g);
  return std::make_unique<TabulatedReducer>(table);
}

}  // namespace gf3mq
