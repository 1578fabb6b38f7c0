// Products and cubes of field elements reduced modulo f, the routes behind
// field_mul, field_cube, frobenius_powers and central_map_inverse.
//
// f = x^257 - g is known only through the reduction table: row r is
// x^(257 + r) mod f, so row 0 is g. Two routes give the same residues:
//   - table rows: every term x^e, e >= 257, is replaced by row e - 257;
//   - sparse: when every row r + 1 is x * row r mod f (true of any table made
//     from f) and g has few terms of low degree, x^257 is replaced by g
//     repeatedly, a handful of shifted additions per round.
#pragma once

#include <cstdint>

#include "field/field_elem.h"
#include "field/poly_mul.h"
#include "linalg/gf3_rows.h"
#include "linalg/row_combination_tables.h"
#include "linalg/mat_zz_p.h"

namespace gf3mq {

// Coefficients of an unreduced product: x^0 .. x^512, padded.
inline constexpr std::size_t kProductBytes = kPolyProductBytes;

// product = a * b as polynomials (mod 3), x^0 .. x^512.
void polynomial_product(const FieldElem& a, const FieldElem& b, std::uint8_t (&product)[kProductBytes]);

// out = product mod f through the table rows 0..255 (product is scratch).
void reduce_with_rows(std::uint8_t (&product)[kProductBytes], const Mat_ZZ_p& table, FieldElem& out);

// out = y^3 mod f through the table rows 3k - 257, k = 86..256.
void cube_with_rows(const FieldElem& y, const Mat_ZZ_p& table, FieldElem& out);

// For routines that reduce many times with one table: decides the route
// once and prepares it for the work named (the sparse form of g, or
// tabulated combinations of the table rows, three at a time). The other
// work is still done right, through the table rows one by one.
class FieldReducer {
 public:
  enum class Work { products, cubes };  // products read rows 0..255, cubes rows 1..511
  enum class Route { fastest, table_rows };

  // The table must have the rows that `work` reads.
  FieldReducer(const Mat_ZZ_p& table, Work work, Route route = Route::fastest);

  bool sparse() const { return sparse_terms_ > 0; }

  void product(const FieldElem& a, const FieldElem& b, FieldElem& out) const;  // out = a * b mod f
  void cube(const FieldElem& y, FieldElem& out) const;                         // out = y^3 mod f

 private:
  static constexpr int kMaxSparseTerms = 16;
  static constexpr int kMaxSparseDegree = 128;

  bool consistent(int rows) const;
  void reduce_sparse(std::uint8_t* p, int top, FieldElem& out) const;

  const Mat_ZZ_p& table_;
  Work work_;
  int sparse_terms_ = 0;
  int sparse_degree_ = 0;
  int term_power_[kMaxSparseTerms] = {};
  std::uint8_t term_factor_[kMaxSparseTerms] = {};
  RowCombinationTables tables_;
};

}  // namespace gf3mq
