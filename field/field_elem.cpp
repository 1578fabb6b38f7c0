#include "field/field_elem.h"

#include <algorithm>

#include "field/field_tables.h"
#include "linalg/gf3_rows.h"

namespace {

using gf3mq::kDegree;

constexpr std::array<int, 129> make_inverse_exponent_digits() {
  std::array<int, 129> digits{};
  int n = 0;
  for (int t = 2; t <= 255; ++t)
    if (t % 4 == 2 || t % 4 == 3) digits[n++] = t;
  digits[n] = 256;
  return digits;
}

// Checked once per call: the rows a routine reads must exist, as with the
// matrix's own checked access ("Matrix index out of range." otherwise).
void require_rows(const Mat_ZZ_p& table, int rows) { (void)table.get(rows - 1, kDegree - 1); }

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

}  // namespace

const std::array<int, 129> inverse_exponent_digits = make_inverse_exponent_digits();

namespace {

constexpr std::size_t kProductBytes = 576;  // 513 coefficients of a product, padded

// product[0..513) = a * b as polynomials (mod 3), before reduction.
void polynomial_product(const FieldElem& a, const FieldElem& b, std::uint8_t (&product)[kProductBytes]) {
  // Coefficient e is the sum over i of a_i b(e - i). With b between zeros,
  // term i is the row read from offset 256 - i. Terms i of one block of 64
  // touch only the 320 coefficients from x^(i & ~63) on, so each block is
  // summed in registers over that window and then added in.
  constexpr std::size_t kPad = kDegree - 1, kBlock = 64;
  alignas(64) std::uint8_t shifted[kProductBytes] = {};
  std::copy_n(b.coef, kDegree, shifted + kPad);
  std::fill_n(product, kProductBytes, std::uint8_t{0});
  RowTerms terms;
  for (std::size_t first = 0; first < kDegree; first += kBlock) {
    terms.clear();
    const std::size_t last = std::min<std::size_t>(first + kBlock, kDegree);
    for (std::size_t i = first; i < last; ++i) terms.add(shifted + kPad - i + first, a.coef[i]);
    terms.apply(product + first, product + first, kVectors);
  }
}

// Replaces x^257..x^512 of a product by table rows 0..255, row by row.
void reduce_product(std::uint8_t (&product)[kProductBytes], const Mat_ZZ_p& table, FieldElem& out) {
  RowTerms reduction;
  PaddedRows rows(table);
  for (int e = kDegree; e < 2 * kDegree - 1; ++e) reduction.add(rows.row(e - kDegree), product[e]);
  std::fill(product + kDegree, product + kPadded, std::uint8_t{0});  // the low part starts the sum
  alignas(64) std::uint8_t result[kPadded];
  reduction.apply(result, product, kVectors);
  std::copy_n(result, kDegree, out.coef);
}

// The same with tabulated combinations of rows 0..255, three at a time.
void reduce_product(const std::uint8_t (&product)[kProductBytes], const gf3mq::RowCombinationTables& high_rows,
                    FieldElem& out) {
  alignas(64) std::uint8_t low[gf3mq::kPaddedRow];
  std::copy_n(product, kDegree, low);
  std::fill(low + kDegree, low + gf3mq::kPaddedRow, std::uint8_t{0});
  high_rows.combine(low, product + kDegree, low);
  std::copy_n(low, kDegree, out.coef);
}

// Cubing: x^k -> x^(3k) in place for k <= 85; terms k >= 86 through table
// row 3k - 257, tabulated three rows at a time in high_rows.
void cube_with_tables(const FieldElem& y, const gf3mq::RowCombinationTables& high_rows, FieldElem& out) {
  alignas(64) std::uint8_t result[gf3mq::kPaddedRow] = {};
  for (int k = 0; k <= 85; ++k) result[3 * k] = y.coef[k];
  high_rows.combine(result, y.coef + 86, result);
  std::copy_n(result, kDegree, out.coef);
}

// Table rows 3k - 257 for k = 86..256 (rows 1, 4, ..., 511), 771 bytes apart.
void tabulate_cube_rows(const Mat_ZZ_p& table, gf3mq::RowCombinationTables& tables) {
  const std::size_t stride = static_cast<std::size_t>(table.num_cols());
  tables.assign(table.data() + stride, kDegree - 86, 3 * stride, kDegree);
}

}  // namespace

int field_mul(const FieldElem& a, const FieldElem& b, const Mat_ZZ_p& table, FieldElem& out) {
  require_rows(table, 256);
  alignas(64) std::uint8_t product[kProductBytes];
  polynomial_product(a, b, product);
  reduce_product(product, table, out);
  return 1;
}

void field_cube(const FieldElem& y, const Mat_ZZ_p& table, FieldElem& out) {
  require_rows(table, gf3mq::kReductionRows);
  // x^k -> x^(3k): in place for k <= 85, table row 3k - 257 above.
  alignas(64) std::uint8_t spread[kPadded] = {};
  for (int k = 0; k <= 85; ++k) spread[3 * k] = y.coef[k];
  RowTerms terms;
  PaddedRows rows(table);
  for (int k = 86; k < kDegree; ++k) terms.add(rows.row(3 * k - kDegree), y.coef[k]);
  alignas(64) std::uint8_t result[kPadded];
  terms.apply(result, spread, kVectors);
  std::copy_n(result, kDegree, out.coef);
}

// Both routines below do hundreds of cubes or products with one table, so
// they first tabulate the combinations of its rows (three at a time).

int frobenius_powers(FieldElem& y, const Mat_ZZ_p& table, Mat_ZZ_p& powers) {
  require_rows(powers, kDegree);
  require_rows(table, gf3mq::kReductionRows);
  gf3mq::RowCombinationTables cube_rows;
  tabulate_cube_rows(table, cube_rows);
  for (int i = 1; i < kDegree; ++i) {
    FieldElem cube;
    cube_with_tables(y, cube_rows, cube);
    y = cube;
    std::copy_n(cube.coef, kDegree, powers.row(i));
  }
  return 1;
}

int central_map_inverse(const Mat_ZZ_p& powers, const Mat_ZZ_p& table, FieldElem& out) {
  require_rows(powers, kDegree);
  require_rows(table, 256);
  gf3mq::RowCombinationTables high_rows;
  high_rows.assign(table.data(), kDegree - 1, static_cast<std::size_t>(table.num_cols()), kDegree);
  std::copy_n(powers.row(inverse_exponent_digits[0]), kDegree, out.coef);
  for (std::size_t j = 1; j < inverse_exponent_digits.size(); ++j) {
    FieldElem bb;
    std::copy_n(powers.row(inverse_exponent_digits[j]), kDegree, bb.coef);
    alignas(64) std::uint8_t product[kProductBytes];
    polynomial_product(out, bb, product);
    reduce_product(product, high_rows, out);
  }
  return 1;
}

FieldElem field_negate(const FieldElem& x) {
  FieldElem negated;
  for (int i = 0; i < kDegree; ++i) negated.coef[i] = static_cast<std::uint8_t>((3 - x.coef[i]) % 3);
  return negated;
}
