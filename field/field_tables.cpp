#include "field/field_tables.h"

#include <algorithm>
#include <cerrno>
#include <string>

#include "field/field_polynomial.h"

namespace gf3mq {

namespace {

void report(FileProblem* problem, const char* file_name, std::string what) {
  if (problem != nullptr) *problem = FileProblem{file_name, std::move(what)};
}

// The first row where two tables of one shape differ, or -1.
int first_different_row(const Mat_ZZ_p& a, const Mat_ZZ_p& b) {
  for (int r = 0; r < a.num_rows(); ++r)
    if (!std::equal(a.row(r), a.row(r) + a.num_cols(), b.row(r))) return r;
  return -1;
}

bool has_shape(const Mat_ZZ_p& table, int rows, int n, FileProblem* problem, const char* file_name) {
  if (table.num_rows() == rows && table.num_cols() == n && degree_exists(n)) return true;
  report(problem, file_name, "does not hold " + std::to_string(rows) + " rows of " + std::to_string(n));
  return false;
}

// Loads into scratch first, so that a refused file leaves table unchanged.
template <typename Check>
bool load_checked(Mat_ZZ_p& table, int rows, int n, FileProblem* problem, const char* file_name, Check check) {
  Mat_ZZ_p loaded(rows, n);
  if (!loaded.load(file_name, problem) || !check(loaded)) return false;
  table = std::move(loaded);
  return true;
}

}  // namespace

Mat_ZZ_p make_reduction_table() { return make_reduction_table(kDegree); }
Mat_ZZ_p make_frobenius_table() { return make_frobenius_table(kDegree); }
Mat_ZZ_p make_reduction_table(int n) { return Mat_ZZ_p(Sizes{n}.reduction_rows(), n); }
Mat_ZZ_p make_frobenius_table(int n) { return Mat_ZZ_p(Sizes{n}.frobenius_rows(), n); }

int degree_of_reduction_table(const char* file_name, FileProblem* problem) {
  const DigitFileResult counted = count_digits(file_name);
  if (counted.status == DigitFileStatus::cannot_open && counted.error_number == ENOENT) return kDefaultDegree;
  if (!counted.ok()) {
    report(problem, file_name, counted.describe(0));
    return 0;
  }
  for (int n = kSmallestDegree; n <= kLargestDegree; n += 2)
    if (Sizes{n}.reduction_digits() == counted.digits) return n;
  return kDefaultDegree;
}

bool check_reduction_table(const Mat_ZZ_p& reduction, FileProblem* problem, const char* file_name) {
  const int n = reduction.num_cols();
  if (!has_shape(reduction, Sizes{n}.reduction_rows(), n, problem, file_name)) return false;
  // Every row follows from row 0, which says what f is: build the table of
  // that f and compare. A damaged row 0 thus shows as the wrong f.
  const Polynomial f = polynomial_of_table(reduction);
  const Mat_ZZ_p expected = build_reduction_table(f);
  if (!is_irreducible(f, expected)) {
    report(problem, file_name, "row 0 gives f = " + format_polynomial(f) + ", which is reducible");
    return false;
  }
  const int r = first_different_row(reduction, expected);
  if (r < 0) return true;
  report(problem, file_name, "row " + std::to_string(r) + " is not x^" + std::to_string(n + r) + " mod f");
  return false;
}

bool check_frobenius_table(const Mat_ZZ_p& frobenius, const Mat_ZZ_p& reduction, FileProblem* problem,
                           const char* file_name) {
  const int n = reduction.num_cols();
  if (!has_shape(frobenius, Sizes{n}.frobenius_rows(), n, problem, file_name)) return false;
  const int k = first_different_row(frobenius, build_frobenius_table(reduction));
  if (k < 0) return true;
  report(problem, file_name, "row " + std::to_string(k) + " is not x^" + std::to_string(27 * k) + " mod f");
  return false;
}

bool load_reduction_table(Mat_ZZ_p& table, FileProblem* problem, const char* file_name) {
  return load_reduction_table(kDegree, table, problem, file_name);
}

bool load_reduction_table(int n, Mat_ZZ_p& table, FileProblem* problem, const char* file_name) {
  return load_checked(table, Sizes{n}.reduction_rows(), n, problem, file_name,
                      [&](const Mat_ZZ_p& loaded) { return check_reduction_table(loaded, problem, file_name); });
}

bool load_frobenius_table(Mat_ZZ_p& table, const Mat_ZZ_p& reduction, FileProblem* problem, const char* file_name) {
  const int n = reduction.num_cols();
  return load_checked(table, Sizes{n}.frobenius_rows(), n, problem, file_name, [&](const Mat_ZZ_p& loaded) {
    return check_frobenius_table(loaded, reduction, problem, file_name);
  });
}

}  // namespace gf3mq
