// Products and cubes of field elements reduced modulo f: one type per way
// of reducing, each doing both kinds of work.
//
// f = x^257 - g is known only through the reduction table: row r is
// x^(257 + r) mod f, so row 0 is g. For one table, every reducer gives the
// same residues, whatever the table holds:
//
//   RowReducer        replaces each term x^e, e >= 257, by table row e - 257,
//                     one row at a time, and prepares nothing: for single
//                     cubes (field_cube), and single products where g is
//                     not sparse (field_mul).
//   TabulatedReducer  the same, with every combination of three table rows
//                     tabulated once (on the first product, and on the first
//                     cube): for hundreds of them with one table.
//   SparseReducer     only for a table whose rows all follow from row 0 and
//                     whose g has few terms of low degree, as the tables of
//                     the usual trinomials do: x^257 is replaced by g round
//                     after round, a handful of shifted additions each.
//
// make_reducer(table) takes the sparse way where it applies and the
// tabulated one otherwise. Products read table rows 0..255, cubes rows
// 1..511: a table without them ends the process with "Matrix index out of
// range." when that work is asked for. A reducer reads its table and must
// not outlive it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "field/field_elem.h"
#include "field/sparse_kernels.h"
#include "linalg/mat_zz_p.h"
#include "linalg/row_combination_tables.h"

namespace gf3mq {

class FieldReducer {
 public:
  virtual ~FieldReducer() = default;
  virtual void product(const FieldElem& a, const FieldElem& b, FieldElem& out) const = 0;  // out = a * b mod f
  virtual void cube(const FieldElem& y, FieldElem& out) const = 0;                         // out = y^3 mod f
  // Whether the results are those of GF(3)[x] / (f) whatever the table's
  // other rows hold, so that any chain of products and cubes to a power gives
  // the same element: true for the sparse way only (make_reducer takes it
  // after checking every row against g).
  virtual bool follows_field_arithmetic() const { return false; }
};

class RowReducer final : public FieldReducer {
 public:
  explicit RowReducer(const Mat_ZZ_p& table) : table_(table) {}
  void product(const FieldElem& a, const FieldElem& b, FieldElem& out) const override;
  void cube(const FieldElem& y, FieldElem& out) const override;

 private:
  const Mat_ZZ_p& table_;
};

class TabulatedReducer final : public FieldReducer {
 public:
  explicit TabulatedReducer(const Mat_ZZ_p& table) : table_(table) {}
  void product(const FieldElem& a, const FieldElem& b, FieldElem& out) const override;
  void cube(const FieldElem& y, FieldElem& out) const override;

 private:
  const Mat_ZZ_p& table_;
  mutable std::once_flag product_rows_ready_, cube_rows_ready_;
  mutable RowCombinationTables product_rows_;  // rows 0..255
  mutable RowCombinationTables cube_rows_;     // rows 3k - 257 for k = 86..256
};

// g = row 0 of the table, if it has at most kMaxTerms terms of degree at
// most 128 (max_sparse_degree), and some term; none otherwise. The other
// rows are not read.
std::optional<SparseForm> sparse_form_of_row_zero(const Mat_ZZ_p& table);

// The same g, for a 512 x 257 table whose rows r + 1 all equal x * row r
// mod f (checked row by row); none otherwise.
std::optional<SparseForm> sparse_form_of(const Mat_ZZ_p& table);

class SparseReducer final : public FieldReducer {
 public:
  explicit SparseReducer(const SparseForm& g) : g_(g) {}
  void product(const FieldElem& a, const FieldElem& b, FieldElem& out) const override;
  void cube(const FieldElem& y, FieldElem& out) const override;
  bool follows_field_arithmetic() const override { return true; }  // arithmetic mod x^257 - g itself

 private:
  SparseForm g_;
};

// The sparse reducer where it applies, the tabulated one otherwise.
std::unique_ptr<FieldReducer> make_reducer(const Mat_ZZ_p& table);

}  // namespace gf3mq
