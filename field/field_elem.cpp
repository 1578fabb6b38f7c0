#include "field/field_elem.h"

#include <algorithm>

#include "field/field_tables.h"

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

// out.coef = acc mod 3
void reduce_into(const std::uint16_t* acc, FieldElem& out) {
  for (int i = 0; i < kDegree; ++i) out.coef[i] = static_cast<std::uint8_t>(acc[i] % 3u);
}

// acc[j] += k * row[j] for the 257 columns of a table row, k in 1..2.
void accumulate_table_row(std::uint16_t* acc, const std::uint8_t* row, unsigned k) {
  for (int j = 0; j < kDegree; ++j) acc[j] = static_cast<std::uint16_t>(acc[j] + k * row[j]);
}

}  // namespace

const std::array<int, 129> inverse_exponent_digits = make_inverse_exponent_digits();

int field_mul(const FieldElem& a, const FieldElem& b, const Mat_ZZ_p& table, FieldElem& out) {
  require_rows(table, 256);
  // Schoolbook product in 16-bit sums: at most 257 terms of at most 4.
  std::uint16_t product[2 * kDegree - 1] = {};
  for (int i = 0; i < kDegree; ++i) {
    const unsigned ai = a.coef[i];
    if (ai == 0) continue;
    std::uint16_t* row = product + i;
    for (int j = 0; j < kDegree; ++j) row[j] = static_cast<std::uint16_t>(row[j] + ai * b.coef[j]);
  }
  // Terms x^257..x^512 are replaced by their residues from the table.
  std::uint16_t low[kDegree];
  for (int i = 0; i < kDegree; ++i) low[i] = product[i] % 3u;
  for (int e = kDegree; e < 2 * kDegree - 1; ++e) {
    const unsigned c = product[e] % 3u;
    if (c != 0) accumulate_table_row(low, table.row(e - kDegree), c);
  }
  reduce_into(low, out);
  return 1;
}

void field_cube(const FieldElem& y, const Mat_ZZ_p& table, FieldElem& out) {
  require_rows(table, gf3mq::kReductionRows);
  std::uint16_t acc[kDegree] = {};
  for (int k = 0; k <= 85; ++k) acc[3 * k] = y.coef[k];
  for (int k = 86; k < kDegree; ++k)
    if (y.coef[k] != 0) accumulate_table_row(acc, table.row(3 * k - kDegree), y.coef[k]);
  reduce_into(acc, out);
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
