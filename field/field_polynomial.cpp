#include "field/field_polynomial.h"

#include <algorithm>

#include "field/field_elem.h"
#include "field/field_reducer.h"
#include "field/field_tables.h"
#include "linalg/gf3_rows.h"

namespace gf3mq {

namespace {

constexpr std::size_t kVectors = 10;  // 320 bytes: a row of 257 in whole 32-byte vectors
constexpr int kFrobeniusStep = 27;

// row = x * row mod f, with row0 = x^257 mod f.
void multiply_by_x(std::uint8_t* row, const std::uint8_t* row0) {
  const std::uint8_t top = row[kDegree - 1];
  std::copy_backward(row, row + kDegree - 1, row + kDegree);
  row[0] = 0;
  add_scaled_row(row, row0, top, kDegree);
}

// out[0..257) = row * x^27 mod f: the coefficients shifted up by 27, the 27
// that pass x^256 folded back with reduction rows 0..26 (x^257..x^283).
void multiply_by_x27(const std::uint8_t* row, const Mat_ZZ_p& reduction, std::uint8_t* out) {
  alignas(64) std::uint8_t shifted[32 * kVectors] = {};
  std::copy_n(row, kDegree - kFrobeniusStep, shifted + kFrobeniusStep);
  const std::uint8_t* once[kFrobeniusStep];
  const std::uint8_t* twice[kFrobeniusStep];
  std::size_t n_once = 0, n_twice = 0;
  for (int j = 0; j < kFrobeniusStep; ++j) {
    const std::uint8_t c = row[kDegree - kFrobeniusStep + j];
    // Rows 0..26 of a 512-row table can each be read 320 bytes wide.
    if (c == 1) once[n_once++] = reduction.data() + static_cast<std::size_t>(j) * kDegree;
    if (c == 2) twice[n_twice++] = reduction.data() + static_cast<std::size_t>(j) * kDegree;
  }
  add_row_combination(shifted, shifted, once, n_once, twice, n_twice, kVectors);
  std::copy_n(shifted, kDegree, out);
}

}  // namespace

std::string format_polynomial(const Polynomial& f) {
  std::string text;
  for (int i = kDegree; i >= 0; --i) {
    const int c = f.coef[i];
    if (c == 0) continue;
    if (!text.empty()) text += " + ";
    if (i == 0) {
      text += std::to_string(c);
      continue;
    }
    if (c == 2) text += "2*";
    text += i == 1 ? "x" : "x^" + std::to_string(i);
  }
  return text.empty() ? "0" : text;
}

Polynomial polynomial_of_table(const Mat_ZZ_p& reduction) {
  Polynomial f;
  const std::uint8_t* row0 = reduction.row(0);
  for (int c = 0; c < kDegree; ++c) f.coef[c] = static_cast<std::uint8_t>((3 - row0[c] % 3) % 3);
  f.coef[kDegree] = 1;
  return f;
}

unsigned evaluate(const Polynomial& f, unsigned a) {
  unsigned value = 0;
  for (int i = kDegree; i >= 0; --i) value = (value * a + f.coef[i]) % 3;
  return value;
}

Mat_ZZ_p build_reduction_table(const Polynomial& f) {
  Mat_ZZ_p table = make_reduction_table();
  std::uint8_t* row = table.row(0);
  for (int c = 0; c < kDegree; ++c) row[c] = static_cast<std::uint8_t>((3 - f.coef[c]) % 3);  // x^257 = -g
  for (int r = 1; r < kReductionRows; ++r) {
    std::copy_n(table.row(r - 1), kDegree, table.row(r));
    multiply_by_x(table.row(r), table.row(0));
  }
  return table;
}

Mat_ZZ_p build_frobenius_table(const Mat_ZZ_p& reduction) {
  (void)reduction.get(kReductionRows - 1, kDegree - 1);  // rows 0..26 are read 320 bytes wide
  Mat_ZZ_p table = make_frobenius_table();
  table.set(0, 0, 1);
  for (int k = 1; k < kFrobeniusRows; ++k) multiply_by_x27(table.row(k - 1), reduction, table.row(k));
  return table;
}

bool is_irreducible(const Polynomial& f) { return is_irreducible(f, build_reduction_table(f)); }

bool is_irreducible(const Polynomial& f, const Mat_ZZ_p& reduction) {
  for (unsigned a = 0; a < 3; ++a)
    if (evaluate(f, a) == 0) return false;
  const std::unique_ptr<FieldReducer> reducer = make_reducer(reduction);
  FieldElem y;
  y.coef[1] = 1;  // x
  const FieldElem x = y;
  for (int i = 0; i < kDegree; ++i) {
    FieldElem cube;
    reducer->cube(y, cube);
    y = cube;
  }
  return y == x;
}

}  // namespace gf3mq
