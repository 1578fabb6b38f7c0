// Products and cubes of elements of GF(3^n) reduced modulo f, on rows of n
// coefficients (a[i] the coefficient of x^i, each 0, 1 or 2): one type per
// way of reducing, each doing both kinds of work. out may be an operand.
//
// f = x^n - g is known only through the reduction table: row r is
// x^(n + r) mod f, so row 0 is g; a table may have more columns than n, the
// first n of each row are read. For one table, every reducer gives the same
// residues, whatever the table holds:
//
//   RowReducer        (n = 257) replaces each term x^e, e >= 257, by table
//                     row e - 257, one row at a time, and prepares nothing:
//                     for single cubes (field_cube), and single products
//                     where g is not sparse (field_mul).
//   TabulatedReducer  the same at any n, with every combination of three
//                     table rows tabulated once (on the first product, and
//                     on the first cube): for hundreds of them with one table.
//   SparseReducer     only for a table whose rows all follow from row 0 and
//                     whose g has few terms of low degree, as the tables of
//                     the usual trinomials do: x^n is replaced by g round
//                     after round, a handful of shifted additions each.
//
// make_reducer(table, n) takes the sparse way where it applies and the
// tabulated one otherwise. Products read table rows 0..n-2, cubes rows
// 3k - n for 3k >= n: a table without them ends the process with "Matrix
// index out of range." when that work is asked for. A reducer reads its
// table and must not outlive it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "field/sparse_kernels.h"
#include "linalg/mat_zz_p.h"
#include "linalg/row_combination_tables.h"
#include "runtime/secure_wipe.h"

namespace gf3mq {

// Room on the stack for an element, or a product or a cube before its
// reduction, at any n; wiped over the bytes used when it goes, as it holds
// secret elements.
struct WipedScratch {
  alignas(64) std::uint8_t bytes[kSparseBufferBytes];
  std::size_t used;
  explicit WipedScratch(std::size_t used_bytes) : used(used_bytes) {}
  ~WipedScratch() { secure_wipe(bytes, used); }
};

class FieldReducer {
 public:
  explicit FieldReducer(int n) : n_(n) {}
  virtual ~FieldReducer() = default;
  int n() const { return n_; }
  virtual void product(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out) const = 0;  // out = a b mod f
  virtual void cube(const std::uint8_t* y, std::uint8_t* out) const = 0;                            // out = y^3 mod f
  // Whether the results are those of GF(3)[x] / (f) whatever the table's
  // other rows hold, so that any chain of products and cubes to a power gives
  // the same element: true for the sparse way only (make_reducer takes it
  // after checking every row against g).
  virtual bool follows_field_arithmetic() const { return false; }

 private:
  int n_;
};

class RowReducer final : public FieldReducer {
 public:
  explicit RowReducer(const Mat_ZZ_p& table);  // at n = 257
  void product(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out) const override;
  void cube(const std::uint8_t* y, std::uint8_t* out) const override;

 private:
  const Mat_ZZ_p& table_;
};

class TabulatedReducer final : public FieldReducer {
 public:
  TabulatedReducer(const Mat_ZZ_p& table, int n) : FieldReducer(n), table_(table) {}
  void product(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out) const override;
  void cube(const std::uint8_t* y, std::uint8_t* out) const override;

 private:
  const Mat_ZZ_p& table_;
  mutable std::once_flag product_rows_ready_, cube_rows_ready_;
  mutable RowCombinationTables product_rows_;  // rows 0..n-2
  mutable RowCombinationTables cube_rows_;     // rows 3k - n for 3k >= n
};

// g = row 0 of a (2n - 2) x n table (or larger), if it has a sparse form
// (sparse_kernels.h) and every row r + 1 equals x * row r mod f (checked row
// by row); none otherwise.
std::optional<SparseForm> sparse_form_of(const Mat_ZZ_p& table, int n);

class SparseReducer final : public FieldReducer {
 public:
  SparseReducer(const SparseForm& g, int n) : FieldReducer(n), g_(g) {}
  void product(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out) const override;
  void cube(const std::uint8_t* y, std::uint8_t* out) const override;
  bool follows_field_arithmetic() const override { return true; }  // arithmetic mod x^n - g itself

 private:
  SparseForm g_;
};

// The sparse reducer where it applies, the tabulated one otherwise.
std::unique_ptr<FieldReducer> make_reducer(const Mat_ZZ_p& table, int n);

}  // namespace gf3mq
