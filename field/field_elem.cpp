#include "field/field_elem.h"

#include <algorithm>

#include "field/field_reducer.h"
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

}  // namespace

const std::array<int, 129> inverse_exponent_digits = make_inverse_exponent_digits();

int field_mul(const FieldElem& a, const FieldElem& b, const Mat_ZZ_p& table, FieldElem& out) {
  require_rows(table, 256);
  if (const std::optional<gf3mq::SparseForm> g = gf3mq::sparse_form_of(table.row(0), kDegree)) {
    gf3mq::SparseReducer(*g, kDegree).product(a.coef, b.coef, out.coef);
  } else {
    gf3mq::RowReducer(table).product(a.coef, b.coef, out.coef);
  }
  return 1;
}

void field_cube(const FieldElem& y, const Mat_ZZ_p& table, FieldElem& out) {
  require_rows(table, gf3mq::kReductionRows);
  gf3mq::RowReducer(table).cube(y.coef, out.coef);
}

// The routines below cube or multiply hundreds of times with one table, so
// they choose the way of reducing once (see field_reducer.h).

namespace {

void frobenius_powers_with(const gf3mq::FieldReducer& reducer, FieldElem& y, Mat_ZZ_p& powers) {
  for (int i = 1; i < kDegree; ++i) reducer.cube(i == 1 ? y.coef : powers.row(i - 1), powers.row(i));
  std::copy_n(powers.row(kDegree - 1), kDegree, y.coef);
}

void central_map_inverse_with(const gf3mq::FieldReducer& reducer, const Mat_ZZ_p& powers, FieldElem& out) {
  std::copy_n(powers.row(inverse_exponent_digits[0]), kDegree, out.coef);
  for (std::size_t j = 1; j < inverse_exponent_digits.size(); ++j)
    reducer.product(out.coef, powers.row(inverse_exponent_digits[j]), out.coef);
}

// z^(3^times).
FieldElem frobenius(const gf3mq::FieldReducer& reducer, FieldElem z, int times) {
  FieldElem next;
  for (int i = 0; i < times; ++i) {
    reducer.cube(z.coef, next.coef);
    z = next;
  }
  return z;
}

// Y^d = Y (Y^116)^T for field arithmetic: 3^256 = 1 + 80 T, so
// d = 36 T + 3^256 = 116 T + 1.
FieldElem central_map_root_in_field(const gf3mq::FieldReducer& reducer, const FieldElem& y) {
  FieldElem y2, y29, y58, z;
  reducer.product(y.coef, y.coef, y2.coef);
  reducer.product(frobenius(reducer, y, 3).coef, y2.coef, y29.coef);
  reducer.product(y29.coef, y29.coef, y58.coef);
  reducer.product(y58.coef, y58.coef, z.coef);  // Y^116
  // w = z^(sum over k < m of 3^(4k)), doubling m: w z^(...) shifted by 3^(4m).
  FieldElem w = z, next;
  for (int m = 1; m < 64; m *= 2) {
    reducer.product(w.coef, frobenius(reducer, w, 4 * m).coef, next.coef);
    w = next;
  }
  FieldElem root;
  reducer.product(y.coef, w.coef, root.coef);
  return root;
}

}  // namespace

int frobenius_powers(FieldElem& y, const Mat_ZZ_p& table, Mat_ZZ_p& powers) {
  require_rows(powers, kDegree);
  require_rows(table, gf3mq::kReductionRows);
  frobenius_powers_with(*gf3mq::make_reducer(table, kDegree), y, powers);
  return 1;
}

int central_map_inverse(const Mat_ZZ_p& powers, const Mat_ZZ_p& table, FieldElem& out) {
  require_rows(powers, kDegree);
  require_rows(table, 256);
  central_map_inverse_with(*gf3mq::make_reducer(table, kDegree), powers, out);
  return 1;
}

FieldElem central_map_root(const FieldElem& y, const Mat_ZZ_p& table) {
  require_rows(table, gf3mq::kReductionRows);
  const std::unique_ptr<gf3mq::FieldReducer> reducer = gf3mq::make_reducer(table, kDegree);
  if (reducer->follows_field_arithmetic()) return central_map_root_in_field(*reducer, y);
  FieldElem a = y, root;
  Mat_ZZ_p powers(kDegree, kDegree);
  frobenius_powers_with(*reducer, a, powers);
  central_map_inverse_with(*reducer, powers, root);
  return root;
}

FieldElem field_negate(const FieldElem& x) {
  FieldElem negated;
  for (int i = 0; i < kDegree; ++i) negated.coef[i] = static_cast<std::uint8_t>((3 - x.coef[i]) % 3);
  return negated;
}
