// The field's own entry points at n = 257, the fixed-size face of Field:
// thin wrappers that pass FieldElem's coefficients as rows. Single products
// and cubes take the row-by-row reducer (or g alone where row 0 is sparse);
// the routines of hundreds of them, make_reducer's choice.
#include "field/field_elem.h"

#include <algorithm>

#include "field/field.h"
#include "field/field_tables.h"

namespace {

using gf3mq::kDefaultSizes;

constexpr std::array<int, 129> make_inverse_exponent_digits() {
  std::array<int, 129> digits{};
  int n = 0;
  for (int t = 2; t <= 255; ++t)
    if (t % 4 == 2 || t % 4 == 3) digits[n++] = t;
  digits[n] = 256;
  return digits;
}

// The routines that cube or multiply hundreds of times with one table
// choose the way of reducing once (see field_reducer.h): the table's rows as
// they are, the sparse way only where every row follows from g.
gf3mq::Field rows_as_given(const Mat_ZZ_p& table) { return gf3mq::Field(gf3mq::make_reducer(table, kDefaultSizes.n)); }

}  // namespace

const std::array<int, 129> inverse_exponent_digits = make_inverse_exponent_digits();

int field_mul(const FieldElem& a, const FieldElem& b, const Mat_ZZ_p& table, FieldElem& out) {
  gf3mq::require_at_least(table, 256, kDefaultSizes.n);
  if (const std::optional<gf3mq::SparseForm> g = gf3mq::sparse_form_of(table.row(0), kDefaultSizes.n)) {
    gf3mq::SparseReducer(*g, kDefaultSizes.n).product(a.coef, b.coef, out.coef);
  } else {
    gf3mq::RowReducer(table).product(a.coef, b.coef, out.coef);
  }
  return 1;
}

void gf3mq::field_cube(const FieldElem& y, const Mat_ZZ_p& table, FieldElem& out) {
  gf3mq::require_at_least(table, gf3mq::kDefaultSizes.reduction_rows(), kDefaultSizes.n);
  gf3mq::RowReducer(table).cube(y.coef, out.coef);
}

int frobenius_powers(FieldElem& y, const Mat_ZZ_p& table, Mat_ZZ_p& powers) {
  gf3mq::require_at_least(powers, kDefaultSizes.n, kDefaultSizes.n);
  gf3mq::require_at_least(table, gf3mq::kDefaultSizes.reduction_rows(), kDefaultSizes.n);
  const gf3mq::Field field = rows_as_given(table);
  for (int i = 1; i < kDefaultSizes.n; ++i) field.cube(i == 1 ? y.coef : powers.row(i - 1), powers.row(i));
  std::copy_n(powers.row(kDefaultSizes.n - 1), kDefaultSizes.n, y.coef);
  return 1;
}

int central_map_inverse(const Mat_ZZ_p& powers, const Mat_ZZ_p& table, FieldElem& out) {
  gf3mq::require_at_least(powers, kDefaultSizes.n, kDefaultSizes.n);
  gf3mq::require_at_least(table, 256, kDefaultSizes.n);
  const gf3mq::Field field = rows_as_given(table);
  std::copy_n(powers.row(inverse_exponent_digits[0]), kDefaultSizes.n, out.coef);
  for (std::size_t j = 1; j < inverse_exponent_digits.size(); ++j)
    field.product(out.coef, powers.row(inverse_exponent_digits[j]), out.coef);
  return 1;
}

FieldElem gf3mq::central_map_root(const FieldElem& y, const Mat_ZZ_p& table) {
  gf3mq::require_at_least(table, gf3mq::kDefaultSizes.reduction_rows(), kDefaultSizes.n);
  FieldElem root;
  rows_as_given(table).central_map_root(y.coef, root.coef);
  return root;
}
