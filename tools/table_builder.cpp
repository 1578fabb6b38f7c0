#include "tools/table_builder.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

#include "field/field_tables.h"
#include "files/folder.h"
#include "files/whole_file.h"

namespace gf3mq {

namespace {

void report(FileProblem* problem, std::string file, std::string what) {
  if (problem != nullptr) *problem = FileProblem{std::move(file), std::move(what)};
}

std::string trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

bool parse_number(const std::string& s, long& value) {
  if (s.empty() || s.size() > 6 || !std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); }))
    return false;
  value = std::stol(s);
  return true;
}

// One term: "c*x^k", "x^k", "c*x", "x", "c" (spaces allowed around * and ^).
bool parse_term(std::string term, long& coefficient, long& power) {
  term.erase(std::remove_if(term.begin(), term.end(), [](char c) { return c == ' ' || c == '\t'; }), term.end());
  coefficient = 1;
  power = 0;
  const auto x = term.find('x');
  if (x == std::string::npos) return parse_number(term, coefficient);
  const std::string before = term.substr(0, x), after = term.substr(x + 1);
  if (!before.empty()) {
    if (before.back() != '*' || !parse_number(before.substr(0, before.size() - 1), coefficient)) return false;
  }
  if (after.empty()) {
    power = 1;
    return true;
  }
  return after[0] == '^' && parse_number(after.substr(1), power);
}

bool exists(const char* name) { return access(name, F_OK) == 0 || errno != ENOENT; }

// A table written to a temporary (public, mode 0644) and synced.
bool write_temporary(const Mat_ZZ_p& table, const char* name, TempFile& temp, FileProblem* problem) {
  if (!temp.create(name, 0644, problem)) return false;
  DigitFileAppender out(temp.fd());
  const std::size_t count = static_cast<std::size_t>(table.num_rows()) * static_cast<std::size_t>(table.num_cols());
  if (!out.append(table.data(), count) || !out.close()) {
    report(problem, name, std::string("could not be written completely: ") + std::strerror(out.error_number()));
    return false;
  }
  return temp.sync_and_close(name, problem);
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
    report(problem, found.file, found.problem);
    return false;
  }
  if (std::equal(table.data(), table.data() + expected.num_rows() * expected.num_cols(), expected.data())) return true;
  std::string hint = "pass the polynomial it was made from with --poly";
  if (name == std::string(kReductionTableFile) && check_reduction_table(table))
    hint = "run gf3mq-tables --poly '" + format_polynomial(polynomial_of_table(table)) + "'";
  report(problem, name,
         "is here without the other table (an interrupted run?), but it is not the table of f = " +
             format_polynomial(f) + "; to write the other one, " + hint);
  return false;
}

}  // namespace

std::string sizes_that_exist() {
  return "the sizes are the odd n from " + std::to_string(kSmallestDegree) + " to " + std::to_string(kLargestDegree);
}

bool parse_polynomial(const std::string& text, Polynomial& f, FileProblem* problem) {
  f = Polynomial{};
  std::vector<int> sums(kLargestDegree + 1, 0);
  std::size_t start = 0;
  bool any = false;
  while (start <= text.size()) {
    const auto plus = text.find('+', start);
    const std::string term = trim(text.substr(start, plus == std::string::npos ? std::string::npos : plus - start));
    long coefficient = 0, power = 0;
    if (term.empty() || !parse_term(term, coefficient, power)) {
      report(
          problem, "",
          "cannot read the term \"" + term + "\" of \"" + text + "\": write terms c*x^k, x^k, c*x, x or c joined by +");
      return false;
    }
    if (coefficient > 2) {
      report(problem, "", "coefficient " + std::to_string(coefficient) + " in \"" + term + "\" is not 0, 1 or 2");
      return false;
    }
    if (power > kLargestDegree) {
      report(
          problem, "",
          "the term \"" + term + "\" has a power above " + std::to_string(kLargestDegree) + "; " + sizes_that_exist());
      return false;
    }
    sums[static_cast<std::size_t>(power)] += static_cast<int>(coefficient);
    any = true;
    if (plus == std::string::npos) break;
    start = plus + 1;
  }
  int degree = kLargestDegree;
  while (degree > 0 && sums[static_cast<std::size_t>(degree)] % 3 == 0) --degree;
  if (!any || !degree_exists(degree)) {
    report(problem, "", "\"" + text + "\" is of degree " + std::to_string(degree) + "; " + sizes_that_exist());
    return false;
  }
  f.coef.resize(static_cast<std::size_t>(degree) + 1);
  for (int i = 0; i <= degree; ++i) f.coef[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(sums[i] % 3);
  if (f.coef.back() != 1) {
    report(problem, "", "\"" + text + "\" is not monic: the coefficient of x^" + std::to_string(degree) + " must be 1");
    return false;
  }
  return true;
}

TablesWritten write_tables(const Polynomial& f, FileProblem* problem) {
  const bool have_reduction = exists(kReductionTableFile), have_frobenius = exists(kFrobeniusTableFile);
  if (have_reduction && have_frobenius) {
    report(problem, kReductionTableFile, "already exists: keys made with it depend on it, so it is left as it is");
    return TablesWritten::none;
  }
  if (!is_irreducible(f)) {
    report(problem, "", format_polynomial(f) + " is reducible over GF(3)");
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
    if (!have_reduction) unlink(kReductionTableFile);  // only just made by this run
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
  if (!have_reduction) {  // n from the Frobenius table's n^2 digits
    const std::size_t digits = count_digits(kFrobeniusTableFile).digits;
    for (int m = kSmallestDegree; m <= kLargestDegree; m += 2)
      if (Sizes{m}.matrix_digits() == digits) n = m;
  }
  Mat_ZZ_p reduction = make_reduction_table(n);
  Mat_ZZ_p frobenius = make_frobenius_table(n);
  if (have_reduction != have_frobenius) {
    const char* missing = have_reduction ? kFrobeniusTableFile : kReductionTableFile;
    FileProblem found;
    read_complete(missing, have_reduction ? frobenius : reduction, &found);
    report(problem, found.file,
           found.problem + "; \"" + (have_reduction ? kReductionTableFile : kFrobeniusTableFile) +
               "\" is here: gf3mq-tables (with the --poly it was made with) writes the missing one");
    return false;
  }
  if (!read_complete(kReductionTableFile, reduction, problem)) return false;
  if (!read_complete(kFrobeniusTableFile, frobenius, problem)) return false;
  if (!check_reduction_table(reduction, problem) || !check_frobenius_table(frobenius, reduction, problem)) return false;
  f = polynomial_of_table(reduction);
  return true;
}

}  // namespace gf3mq
