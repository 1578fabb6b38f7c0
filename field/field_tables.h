// The two tables that describe GF(3^n) = GF(3)[x] / (f), f monic and
// irreducible of degree n, and their files in the working directory: loaded,
// checked and written. Both are Mat_ZZ_p whose column c is the coefficient
// of x^c:
//
//   reduction table Xi_modIrred, (2n - 2) x n: row r = x^(n + r) mod f
//   Frobenius table X_27i_modIrred, n x n:     row k = x^(27 k) mod f
//
// The Frobenius table is the matrix of the GF(3)-linear map X -> X^27: the
// image of sum c_k x^k is sum c_k * (row k).
#pragma once

#include "field/field_polynomial.h"
#include "field/sizes.h"
#include "files/digit_file.h"
#include "linalg/mat_zz_p.h"

namespace gf3mq {

inline constexpr const char* kReductionTableFile = "new Xe_mod_Irredfx.txt";
inline constexpr const char* kFrobeniusTableFile = "new X_27i_mod_Irredfx.txt";

// Empty tables of the right shape, at n = 257 or at any n.
Mat_ZZ_p make_reduction_table(int n = kDefaultSizes.n);  // (2n - 2) x n
Mat_ZZ_p make_frobenius_table(int n = kDefaultSizes.n);  // n x n

// The n of a folder's tables: the odd n from 5 to 1021 whose (2n - 2) n
// equals the number of digits of the reduction table (whitespace between
// them skipped); 257 when none does and when there is no such file, so
// that every table of 257 is read as it always was (and a missing one is
// reported by the reading). 0 when the file is there but cannot be opened
// or read (a link, a device, an I/O error), with problem (when given)
// naming it and the system's error.
int degree_of_reduction_table(const char* file_name = kReductionTableFile, FileProblem* problem = nullptr);
// The same for any file of digits, measured by digits_of (&Sizes::reduction_digits above).
int degree_of_digit_file(const char* file_name, std::size_t (Sizes::*digits_of)() const, FileProblem* problem);

// Whether the tables describe a field, as gf3mq-tables --check sees it, at
// the n of the reduction table's columns: f = x^n - row 0 of the reduction
// table is irreducible, every reduction row r is x^(n + r) mod f, and every
// Frobenius row k is x^(27 k) mod f for the (checked) reduction table.
// False, with problem (when given) naming file_name and the first bad row,
// otherwise.
bool check_reduction_table(const Mat_ZZ_p& reduction, FileProblem* problem = nullptr,
                           const char* file_name = kReductionTableFile);
bool check_frobenius_table(const Mat_ZZ_p& frobenius, const Mat_ZZ_p& reduction, FileProblem* problem = nullptr,
                           const char* file_name = kFrobeniusTableFile);

// Loads a table file completely and checks it as above; false (table
// unchanged, problem filled when given) when the file is missing, not a
// regular file, short, holds a character other than 0..2, or does not
// describe the field. The Frobenius table is checked against a reduction
// table that has passed its own check.
// These load the tables of 257, and the one given n those of any n (the
// Frobenius table at the reduction table's n).
bool load_reduction_table(Mat_ZZ_p& table, FileProblem* problem = nullptr, const char* file_name = kReductionTableFile);
bool load_frobenius_table(Mat_ZZ_p& table, const Mat_ZZ_p& reduction, FileProblem* problem = nullptr,
                          const char* file_name = kFrobeniusTableFile);
bool load_reduction_table(int n, Mat_ZZ_p& table, FileProblem* problem = nullptr,
                          const char* file_name = kReductionTableFile);

enum class TablesWritten {
  none,     // refused or failed: problem says why, and whether the tables are in place
  both,     // both tables written
  missing,  // one table was there already (an interrupted run); the other was written
};

// Writes the table files of f into the working directory, each through a
// temporary that is synced before either is linked into place; an existing
// file is never replaced. Refuses when f is reducible or both files exist.
// When exactly one exists and it is the table of f, only the other is
// written; when it is not, nothing is. The caller holds the exclusive lock.
TablesWritten write_tables(const Polynomial& f, FileProblem* problem);

// Checks the two table files of the working directory: complete, only 0, 1,
// 2, f from row 0 irreducible, reduction row r + 1 = x * row r mod f,
// Frobenius row k = x^(27 k) mod f. On success returns f; otherwise problem
// names the first bad file and row (or the missing file, and how to write it).
bool check_tables(Polynomial& f, FileProblem* problem);

}  // namespace gf3mq
