#include "tools/table_builder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

#include "field/field_elem.h"
#include "field/field_tables.h"

namespace gf3mq {

namespace {

using Row = std::array<std::uint8_t, kDegree>;

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

// row = x * row mod f, with row0 = x^257 mod f.
void multiply_by_x(Row& row, const std::uint8_t* row0) {
  const std::uint8_t top = row[kDegree - 1];
  std::copy_backward(row.begin(), row.end() - 1, row.end());
  row[0] = 0;
  if (top != 0)
    for (int c = 0; c < kDegree; ++c) row[c] = static_cast<std::uint8_t>((row[c] + top * row0[c]) % 3);
}

bool row_equals(const std::uint8_t* a, const Row& b) { return std::equal(b.begin(), b.end(), a); }

// Writes table to a fresh temporary file beside name and renames it into
// place only when the whole table is on disk.
bool save_new_file(const Mat_ZZ_p& table, const std::string& name, std::string& temp, std::string& error) {
  temp = name + ".tmp-XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) {
    error = "\"" + name + "\" cannot be created in this directory";
    temp.clear();
    return false;
  }
  fchmod(fd, 0644);
  close(fd);
  if (!table.save(temp.c_str())) {
    error = "\"" + name + "\" could not be written completely";
    return false;
  }
  return true;
}

// Reads a whole table file: exactly rows x cols digits, then nothing but
// whitespace. On failure message names the file and, where it applies, the row.
bool read_complete(const char* name, Mat_ZZ_p& table, std::string& message) {
  const std::size_t cols = static_cast<std::size_t>(table.num_cols());
  const std::size_t count = static_cast<std::size_t>(table.num_rows()) * cols;
  std::vector<std::uint8_t> scratch(count + 1);
  const DigitFileResult result = read_digit_file(name, scratch.data(), count + 1);
  const std::string file = std::string("\"") + name + "\" ";
  if (result.status == DigitFileStatus::too_short && result.digits == count) {
    std::copy_n(scratch.begin(), count, table.data());
    return true;
  }
  if (result.status == DigitFileStatus::cannot_open) {
    message = file + result.describe(count);
  } else if (result.digits >= count) {
    message = file + "holds more than the " + std::to_string(count) + " digits of its table";
  } else {
    message = file + result.describe(count) + " (row " + std::to_string(result.digits / cols) + ")";
  }
  return false;
}

}  // namespace

bool parse_polynomial(const std::string& text, Polynomial& f, std::string& error) {
  f = Polynomial{};
  std::vector<int> sums(kDegree + 1, 0);
  std::size_t start = 0;
  bool any = false;
  while (start <= text.size()) {
    const auto plus = text.find('+', start);
    const std::string term = trim(text.substr(start, plus == std::string::npos ? std::string::npos : plus - start));
    long coefficient = 0, power = 0;
    if (term.empty() || !parse_term(term, coefficient, power)) {
      error =
          "cannot read the term \"" + term + "\" of \"" + text + "\": write terms c*x^k, x^k, c*x, x or c joined by +";
      return false;
    }
    if (coefficient > 2) {
      error = "coefficient " + std::to_string(coefficient) + " in \"" + term + "\" is not 0, 1 or 2";
      return false;
    }
    if (power > kDegree) {
      error = "the term \"" + term + "\" has a power above 257";
      return false;
    }
    sums[static_cast<std::size_t>(power)] += static_cast<int>(coefficient);
    any = true;
    if (plus == std::string::npos) break;
    start = plus + 1;
  }
  for (int i = 0; i <= kDegree; ++i) f.coef[i] = static_cast<std::uint8_t>(sums[i] % 3);
  if (!any || f.coef[kDegree] == 0) {
    error = "\"" + text + "\" is not of degree 257";
    return false;
  }
  if (f.coef[kDegree] != 1) {
    error = "\"" + text + "\" is not monic: the coefficient of x^257 must be 1";
    return false;
  }
  return true;
}

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

Mat_ZZ_p build_reduction_table(const Polynomial& f) {
  Mat_ZZ_p table = make_reduction_table();
  Row row{};
  for (int c = 0; c < kDegree; ++c) row[c] = static_cast<std::uint8_t>((3 - f.coef[c]) % 3);  // x^257 = -g
  const Row row0 = row;
  for (int r = 0; r < kReductionRows; ++r) {
    std::copy(row.begin(), row.end(), table.row(r));
    multiply_by_x(row, row0.data());
  }
  return table;
}

Mat_ZZ_p build_frobenius_table(const Mat_ZZ_p& reduction) {
  Mat_ZZ_p table = make_frobenius_table();
  Row row{};
  row[0] = 1;
  for (int k = 0; k < kFrobeniusRows; ++k) {
    std::copy(row.begin(), row.end(), table.row(k));
    for (int step = 0; step < 27; ++step) multiply_by_x(row, reduction.row(0));
  }
  return table;
}

Polynomial polynomial_of_table(const Mat_ZZ_p& reduction) {
  Polynomial f;
  for (int c = 0; c < kDegree; ++c) f.coef[c] = static_cast<std::uint8_t>((3 - reduction.get(0, c)) % 3);
  f.coef[kDegree] = 1;
  return f;
}

unsigned evaluate(const Polynomial& f, unsigned a) {
  unsigned value = 0;
  for (int i = kDegree; i >= 0; --i) value = (value * a + f.coef[i]) % 3;
  return value;
}

bool is_irreducible(const Polynomial& f) {
  for (unsigned a = 0; a < 3; ++a)
    if (evaluate(f, a) == 0) return false;
  const Mat_ZZ_p reduction = build_reduction_table(f);
  FieldElem y;
  y.coef[1] = 1;  // x
  const FieldElem x = y;
  for (int i = 0; i < kDegree; ++i) {
    FieldElem cube;
    field_cube(y, reduction, cube);
    y = cube;
  }
  return y == x;
}

bool write_tables(const Polynomial& f, std::string& error) {
  for (const char* name : {kReductionTableFile, kFrobeniusTableFile}) {
    if (access(name, F_OK) == 0) {
      error = std::string("\"") + name + "\" already exists: keys made with it depend on it, so it is left as it is";
      return false;
    }
  }
  if (!is_irreducible(f)) {
    error = format_polynomial(f) + " is reducible over GF(3)";
    return false;
  }
  const Mat_ZZ_p reduction = build_reduction_table(f);
  const Mat_ZZ_p frobenius = build_frobenius_table(reduction);
  std::string temp_reduction, temp_frobenius;
  bool ok = save_new_file(reduction, kReductionTableFile, temp_reduction, error) &&
            save_new_file(frobenius, kFrobeniusTableFile, temp_frobenius, error);
  // link() refuses to replace a file that appeared in the meantime.
  if (ok && link(temp_reduction.c_str(), kReductionTableFile) != 0) {
    error = std::string("\"") + kReductionTableFile + "\" could not be created";
    ok = false;
  } else if (ok && link(temp_frobenius.c_str(), kFrobeniusTableFile) != 0) {
    error = std::string("\"") + kFrobeniusTableFile + "\" could not be created";
    unlink(kReductionTableFile);
    ok = false;
  }
  if (!temp_reduction.empty()) unlink(temp_reduction.c_str());
  if (!temp_frobenius.empty()) unlink(temp_frobenius.c_str());
  return ok;
}

bool check_tables(std::string& message) {
  Mat_ZZ_p reduction = make_reduction_table();
  Mat_ZZ_p frobenius = make_frobenius_table();
  if (!read_complete(kReductionTableFile, reduction, message)) return false;
  if (!read_complete(kFrobeniusTableFile, frobenius, message)) return false;
  const Polynomial f = polynomial_of_table(reduction);
  const std::string name = format_polynomial(f);
  if (!is_irreducible(f)) {
    message = std::string("\"") + kReductionTableFile + "\" row 0 gives f = " + name + ", which is reducible";
    return false;
  }
  Row row{};
  std::copy_n(reduction.row(0), kDegree, row.begin());
  for (int r = 1; r < kReductionRows; ++r) {
    multiply_by_x(row, reduction.row(0));
    if (!row_equals(reduction.row(r), row)) {
      message = std::string("\"") + kReductionTableFile + "\" row " + std::to_string(r) + " is not x^" +
                std::to_string(kDegree + r) + " mod f";
      return false;
    }
  }
  Row power{};
  power[0] = 1;
  for (int k = 0; k < kFrobeniusRows; ++k) {
    if (!row_equals(frobenius.row(k), power)) {
      message = std::string("\"") + kFrobeniusTableFile + "\" row " + std::to_string(k) + " is not x^" +
                std::to_string(27 * k) + " mod f";
      return false;
    }
    for (int step = 0; step < 27; ++step) multiply_by_x(power, reduction.row(0));
  }
  message = "tables are consistent and describe GF(3^257) with f = " + name;
  return true;
}

}  // namespace gf3mq
