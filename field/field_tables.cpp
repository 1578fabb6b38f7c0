#include "field/field_tables.h"

#include <algorithm>
#include <cerrno>
#include <string>

#include "field/field_polynomial.h"
#include "files/folder.h"
#include "files/whole_file.h"

namespace gf3mq {

namespace {

// Whether table equals expected, a table of its shape whose row r is
// x^(first + step r) mod f; otherwise problem names the first row that differs.
bool rows_agree(const Mat_ZZ_p& table, const Mat_ZZ_p& expected, int first, int step, FileProblem* problem,
                const char* file_name) {
  for (int r = 0; r < table.num_rows(); ++r)
    if (!std::equal(table.row(r), table.row(r) + table.num_cols(), expected.row(r)))
      return report_problem(problem, file_name,
                            "row " + std::to_string(r) + " is not x^" + std::to_string(first + step * r) + " mod f");
  return true;
}

bool has_shape(const Mat_ZZ_p& table, int rows, int n, FileProblem* problem, const char* file_name) {
  if (table.num_rows() == rows && table.num_cols() == n && degree_exists(n)) return true;
  return report_problem(problem, file_name, "does not hold " + std::to_string(rows) + " rows of " + std::to_string(n));
}

// Loads into scratch first, so that a refused file leaves table unchanged.
template <typename Check>
bool load_checked(Mat_ZZ_p& table, int rows, int n, FileProblem* problem, const char* file_name, Check check) {
  Mat_ZZ_p loaded(rows, n);
  if (!loaded.load(file_name, problem) || !check(loaded)) return false;
  table = std::move(loaded);
  return true;
}

bool exists(const char* name) { return lookup_error(name) != ENOENT; }

// A table written to a temporary (public, mode 0644) and synced.
bool write_temporary(const Mat_ZZ_p& table, const char* name, TempFile& temp, FileProblem* problem) {
  const std::size_t count = static_cast<std::size_t>(table.num_rows()) * static_cast<std::size_t>(table.num_cols());
  const auto write = [&](DigitFileAppender& out) { return out.append(table.data(), count); };
  return write_digit_temporary(temp, name, 0644, write, problem);
}

// Reads a whole table file: exactly rows x cols digits, then nothing but
// whitespace. On failure problem names the file and, where it applies, the row.
bool read_complete(const char* name, Mat_ZZ_p& table, FileProblem* problem) {
  const std::size_t cols = static_cast<std::size_t>(table.num_cols());
  return read_whole_digit_file(name, table.data(), static_cast<std::size_t>(table.num_rows()) * cols, problem, cols);
}

// The one table an interrupted run left: is it the table of f?
bool existing_table_is_of(const Polynomial& f, const char* name, const Mat_ZZ_p& expected, FileProblem* problem) {
  Mat_ZZ_p table(expected.num_rows(), expected.num_cols());
  FileProblem found;
  if (!read_complete(name, table, &found)) {
    found.problem += "; it is the only table here: remove it and run gf3mq-tables again";
    return report_problem(problem, found.file, found.problem);
  }
  if (std::equal(table.data(), table.data() + expected.num_rows() * expected.num_cols(), expected.data())) return true;
  std::string hint = "pass the polynomial it was made from with --poly";
  if (name == std::string(kReductionTableFile) && check_reduction_table(table))
    hint = "run gf3mq-tables --poly '" + format_polynomial(polynomial_of_table(table)) + "'";
  return report_problem(problem, name,
                        "is here without the other table (an interrupted run?), but it is not the table of f = " +
                            format_polynomial(f) + "; to write the other one, " + hint);
}

}  // namespace

Mat_ZZ_p make_reduction_table(int n) { return Mat_ZZ_p(Sizes{n}.reduction_rows(), n); }
Mat_ZZ_p make_frobenius_table(int n) { return Mat_ZZ_p(Sizes{n}.frobenius_rows(), n); }

int degree_of_reduction_table(const char* file_name, FileProblem* problem) {
  return degree_of_digit_file(file_name, &Sizes::reduction_digits, problem);
}

int degree_of_digit_file(const char* file_name, std::size_t (Sizes::*digits_of)() const, FileProblem* problem) {
  const DigitFileResult counted = count_digits(file_name);
  if (counted.status == DigitFileStatus::cannot_open && counted.error_number == ENOENT) return kDefaultSizes.n;
  if (!counted.ok()) {
    report_problem(problem, file_name, counted.describe(0));
    return 0;
  }
  const int n = degree_from_digits(counted.digits, digits_of);
  return n != 0 ? n : kDefaultSizes.n;
}

bool check_reduction_table(const Mat_ZZ_p& reduction, FileProblem* problem, const char* file_name) {
  const int n = reduction.num_cols();
  if (!has_shape(reduction, Sizes{n}.reduction_rows(), n, problem, file_name)) return false;
  // Every row follows from row 0, which says what f is: build the table of
  // that f and compare. A damaged row 0 thus shows as the wrong f.
  const Polynomial f = polynomial_of_table(reduction);
  const Mat_ZZ_p expected = build_reduction_table(f);
  if (!is_irreducible(f, expected)) {
    return report_problem(problem, file_name, "row 0 gives f = " + format_polynomial(f) + ", which is reducible");
  }
  return rows_agree(reduction, expected, n, 1, problem, file_name);
}

bool check_frobenius_table(const Mat_ZZ_p& frobenius, const Mat_ZZ_p& reduction, FileProblem* problem,
                           const char* file_name) {
  const int n = reduction.num_cols();
  if (!has_shape(frobenius, Sizes{n}.frobenius_rows(), n, problem, file_name)) return false;
  return rows_agree(frobenius, build_frobenius_table(reduction), 0, 27, problem, file_name);
}

bool load_reduction_table(Mat_ZZ_p& table, FileProblem* problem, const char* file_name) {
  return load_reduction_table(kDefaultSizes.n, table, problem, file_name);
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

TablesWritten write_tables(const Polynomial& f, FileProblem* problem) {
  const bool have_reduction = exists(kReductionTableFile), have_frobenius = exists(kFrobeniusTableFile);
  if (have_reduction && have_frobenius) {
    report_problem(problem, kReductionTableFile,
                   "already exists: keys made with it depend on it, so it is left as it is");
    return TablesWritten::none;
  }
  if (!is_irreducible(f)) {
    report_problem(problem, "", format_polynomial(f) + " is reducible over GF(3)");
    return TablesWritten::none;
  }
  const Mat_ZZ_p reduction = build_reduction_table(f);
  const Mat_ZZ_p frobenius = build_frobenius_table(reduction);
  if (have_reduction && !existing_table_is_of(f, kReductionTableFile, reduction, problem)) return TablesWritten::none;
  if (have_frobenius && !existing_table_is_of(f, kFrobeniusTableFile, frobenius, problem)) return TablesWritten::none;
  // Both temporaries are complete on disk before either table appears.
  TempFile temp_reduction, temp_frobenius;
  if ((!have_reduction && !write_temporary(reduction, kReductionTableFile, temp_reduction, problem)) ||
      (!have_frobenius && !write_temporary(frobenius, kFrobeniusTableFile, temp_frobenius, problem)))
    return TablesWritten::none;
  // A table is in place once linked, even when its temporary's name cannot
  // be removed after; that is said once both are in place.
  FileProblem leftover;
  const auto place = [&](TempFile& temp, const char* name) {
    FileProblem failed;
    bool placed = false;
    if (put_in_place(temp, name, Placement::create_only, &failed, &placed)) return true;
    if (!placed) return report_problem(problem, failed.file, failed.problem);
    if (leftover.problem.empty()) leftover = failed;
    return true;
  };
  if (!have_reduction && !place(temp_reduction, kReductionTableFile)) return TablesWritten::none;
  if (!have_frobenius && !place(temp_frobenius, kFrobeniusTableFile)) {
    if (!have_reduction) remove_name(kReductionTableFile);  // only just made by this run
    return TablesWritten::none;
  }
  // Both tables are in place from here on, and stay whatever fails.
  if (FileProblem sync; !sync_folder(".", &sync)) {
    report_problem(problem, sync.file, sync.problem + "; the tables are in place, but may not be on disk");
    return TablesWritten::none;
  }
  if (!leftover.problem.empty()) {
    report_problem(problem, leftover.file, leftover.problem + "; both tables are in place");
    return TablesWritten::none;
  }
  return have_reduction || have_frobenius ? TablesWritten::missing : TablesWritten::both;
}

bool check_tables(Polynomial& f, FileProblem* problem) {
  const bool have_reduction = exists(kReductionTableFile), have_frobenius = exists(kFrobeniusTableFile);
  int n = degree_of_reduction_table(kReductionTableFile, problem);
  if (n == 0) return false;
  if (!have_reduction)  // n from the Frobenius table's n^2 digits
    if (const int m = degree_from_digits(count_digits(kFrobeniusTableFile).digits, &Sizes::matrix_digits)) n = m;
  Mat_ZZ_p reduction = make_reduction_table(n);
  Mat_ZZ_p frobenius = make_frobenius_table(n);
  if (have_reduction != have_frobenius) {
    const char* missing = have_reduction ? kFrobeniusTableFile : kReductionTableFile;
    FileProblem found;
    read_complete(missing, have_reduction ? frobenius : reduction, &found);
    return report_problem(problem, found.file,
                          found.problem + "; " + quoted(have_reduction ? kReductionTableFile : kFrobeniusTableFile) +
                              " is here: gf3mq-tables (with the --poly it was made with) writes the missing one");
  }
  if (!read_complete(kReductionTableFile, reduction, problem)) return false;
  if (!read_complete(kFrobeniusTableFile, frobenius, problem)) return false;
  if (!check_reduction_table(reduction, problem) || !check_frobenius_table(frobenius, reduction, problem)) return false;
  f = polynomial_of_table(reduction);
  return true;
}

}  // namespace gf3mq
