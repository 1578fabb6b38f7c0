// Writing and checking the two field-table files of the working directory
// from a monic polynomial f of degree 257 over GF(3) (the tables themselves
// and the polynomial are in field/field_polynomial.h).
#pragma once

#include <string>

#include "field/field_polynomial.h"
#include "field/sizes.h"
#include "files/digit_file.h"

namespace gf3mq {

// The polynomial the tool uses when none is given (default_polynomial of
// field_polynomial.h at 257).
inline constexpr const char* kDefaultPolynomial = "x^257 + 2*x^22 + 1";

// Parses terms c*x^k, x^k, c*x, x and c (c in 0..2) joined by '+', in any
// order, spaces allowed; repeated powers add up. f must be monic of an odd
// degree from 5 to 1021 (sizes.h). False with problem filled otherwise.
bool parse_polynomial(const std::string& text, Polynomial& f, FileProblem* problem);

// "the sizes are the odd n from 5 to 1021", for messages that refuse one.
std::string sizes_that_exist();

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
