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

// Row r of a table with at least the rows a routine reads.
const std::uint8_t* table_row(const Mat_ZZ_p& table, int r) {
  return table.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(table.num_cols());
}

// Element buffers padded to whole 32-byte vectors for the row kernel.
constexpr std::size_t kVectors = 9;
constexpr std::size_t kPadded = 32 * kVectors;  // 288 >= 257

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
  void shift(std::size_t offset) {
    for (std::size_t j = 0; j < n_once; ++j) once[j] += offset;
    for (std::size_t j = 0; j < n_twice; ++j) twice[j] += offset;
  }
  void apply(std::uint8_t* out, const std::uint8_t* base, std::size_t vectors) const {
    gf3mq::add_row_combination(out, base, once, n_once, twice, n_twice, vectors);
  }
};

// A table row with kPadded readable bytes: rows are 257 apart, so only the
// last rows of a table need a padded copy.
const std::uint8_t* padded_row(const Mat_ZZ_p& table, int r, std::uint8_t (&copy)[kPadded]) {
  const std::uint8_t* row = table_row(table, r);
  const std::size_t block = static_cast<std::size_t>(table.num_rows()) * static_cast<std::size_t>(table.num_cols());
  if (static_cast<std::size_t>(row - table.data()) + kPadded <= block) return row;
  std::fill_n(copy, kPadded, std::uint8_t{0});
  std::copy_n(row, kDegree, copy);
  return copy;
}

}  // namespace

const std::array<int, 129> inverse_exponent_digits = make_inverse_exponent_digits();

int field_mul(const FieldElem& a, const FieldElem& b, const Mat_ZZ_p& table, FieldElem& out) {
  require_rows(table, 256);
  // Schoolbook product: coefficient e is the sum over i of a_i b(e - i). With
  // b between zeros, term i is one row read from offset 256 - i, in two
  // blocks of 288 coefficients (x^0..x^287, x^288..x^575).
  constexpr std::size_t kPad = kDegree - 1;
  alignas(32) std::uint8_t shifted[kPad + 2 * kPadded] = {};
  std::copy_n(b.coef, kDegree, shifted + kPad);
  RowTerms terms;
  for (int i = 0; i < kDegree; ++i) terms.add(shifted + kPad - i, a.coef[i]);
  alignas(32) static const std::uint8_t zeros[kPadded] = {};
  alignas(32) std::uint8_t product[2 * kPadded];
  terms.apply(product, zeros, kVectors);
  terms.shift(kPadded);
  terms.apply(product + kPadded, zeros, kVectors);
  // Terms x^257..x^512 are replaced by their residues, table rows 0..255;
  // the low part, padded with zeros, is the starting sum.
  RowTerms reduction;
  std::uint8_t spare[kPadded];
  for (int e = kDegree; e < 2 * kDegree - 1; ++e) reduction.add(padded_row(table, e - kDegree, spare), product[e]);
  std::fill(product + kDegree, product + kPadded, std::uint8_t{0});
  alignas(32) std::uint8_t result[kPadded];
  reduction.apply(result, product, kVectors);
  std::copy_n(result, kDegree, out.coef);
  return 1;
}

void field_cube(const FieldElem& y, const Mat_ZZ_p& table, FieldElem& out) {
  require_rows(table, gf3mq::kReductionRows);
  // x^k -> x^(3k): in place for k <= 85, table row 3k - 257 above.
  alignas(32) std::uint8_t spread[kPadded] = {};
  for (int k = 0; k <= 85; ++k) spread[3 * k] = y.coef[k];
  RowTerms terms;
  std::uint8_t spare[kPadded];
  for (int k = 86; k < kDegree; ++k) terms.add(padded_row(table, 3 * k - kDegree, spare), y.coef[k]);
  alignas(32) std::uint8_t result[kPadded];
  terms.apply(result, spread, kVectors);
  std::copy_n(result, kDegree, out.coef);
}

int frobenius_powers(FieldElem& y, const Mat_ZZ_p& table, Mat_ZZ_p& powers) {
  require_rows(powers, kDegree);
  for (int i = 1; i < kDegree; ++i) {
    FieldElem cube;
    field_cube(y, table, cube);
    y = cube;
    std::copy_n(cube.coef, kDegree, powers.row(i));
  }
  return 1;
}

int central_map_inverse(const Mat_ZZ_p& powers, const Mat_ZZ_p& table, FieldElem& out) {
  require_rows(powers, kDegree);
  std::copy_n(powers.row(inverse_exponent_digits[0]), kDegree, out.coef);
  for (std::size_t j = 1; j < inverse_exponent_digits.size(); ++j) {
    const FieldElem aa = out;
    FieldElem bb;
    std::copy_n(powers.row(inverse_exponent_digits[j]), kDegree, bb.coef);
    field_mul(aa, bb, table, out);
  }
  return 1;
}

FieldElem field_negate(const FieldElem& x) {
  FieldElem negated;
  for (int i = 0; i < kDegree; ++i) negated.coef[i] = static_cast<std::uint8_t>((3 - x.coef[i]) % 3);
  return negated;
}
