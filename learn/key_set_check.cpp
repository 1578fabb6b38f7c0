#include "learn/key_set_check.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>

#include "field/field.h"
#include "field/field_polynomial.h"
#include "field/field_tables.h"
#include "files/folder.h"
#include "scheme/encrypt.h"
#include "scheme/key_files.h"
#include "scheme/keygen.h"

namespace gf3mq {

namespace {

using Outcome = CheckResult::Outcome;

// The files of a set, read once: the digits of each, or why it failed.
struct LoadedFiles {
  Sizes sizes;  // n, from the reduction table
  std::map<std::string, SecretVector<std::uint8_t>> digits;
  std::vector<CheckResult> results;

  bool have(const char* name) const { return digits.count(name) != 0; }
  const std::uint8_t* of(const char* name) const { return digits.at(name).data(); }

  void load(const char* name, std::size_t count) {
    SecretVector<std::uint8_t> read(count);
    FileProblem problem;
    if (read_whole_digit_file(name, read.data(), count, &problem)) {
      digits[name] = std::move(read);
      results.push_back(
          {Outcome::held, quoted(name) + " holds its " + std::to_string(count) + " digits and nothing else"});
    } else {
      results.push_back({Outcome::failed, problem.message()});
    }
  }
};

Mat_ZZ_p matrix_of(const LoadedFiles& files, const char* name, int rows) {
  const int n = files.sizes.n;
  Mat_ZZ_p m(rows, n);
  std::copy_n(files.of(name), static_cast<std::size_t>(rows) * static_cast<std::size_t>(n), m.data());
  return m;
}

Vec_ZZ_p vector_of(const LoadedFiles& files, const char* name) {
  Vec_ZZ_p v(files.sizes.n);
  std::copy_n(files.of(name), files.sizes.elements(), v.data());
  return v;
}

// A check that needs files: skipped, naming them, when one of them failed.
bool needs(const LoadedFiles& files, std::vector<const char*> names, const std::string& what,
           std::vector<CheckResult>& results) {
  std::string missing;
  for (const char* name : names)
    if (!files.have(name)) missing += (missing.empty() ? "" : ", ") + quoted(name);
  if (missing.empty()) return true;
  results.push_back({Outcome::skipped, what + ": needs " + missing});
  return false;
}

// reduction_sound: whether the reduction table (all decryption needs of the
// field) describes the field, whatever the Frobenius table holds.
CheckResult check_tables_of(const LoadedFiles& files, bool& reduction_sound) {
  const Mat_ZZ_p reduction = matrix_of(files, kReductionTableFile, files.sizes.reduction_rows());
  const Mat_ZZ_p frobenius = matrix_of(files, kFrobeniusTableFile, files.sizes.frobenius_rows());
  FileProblem problem;
  reduction_sound = check_reduction_table(reduction, &problem);
  if (!reduction_sound || !check_frobenius_table(frobenius, reduction, &problem))
    return {Outcome::failed, problem.message()};
  return {Outcome::held, "the tables are consistent and describe GF(3^" + std::to_string(files.sizes.n) +
                             ") with f = " + format_polynomial(polynomial_of_table(reduction))};
}

CheckResult check_folder() {
  unsigned mode = 0;
  const std::string folder = quoted(working_directory());
  if (!folder_writable_by_others(".", &mode))
    return {Outcome::held, "the folder " + folder + " is closed to group and others for writing"};
  char octal[8];
  std::snprintf(octal, sizeof octal, "%04o", mode);
  return {Outcome::failed, "group or others may write the folder " + folder + " (mode " + octal +
                               "): they could replace or remove the key files; chmod go-w closes it"};
}

// The two candidates of every ciphertext sum to B_Inv V2: where it has k
// non-zero elements, both encrypt back with probability 2^-k.
CheckResult check_ambiguity(const LoadedFiles& files) {
  const int n = files.sizes.n;
  const int k = ambiguity_weight(matrix_of(files, kInvBFile, n), vector_of(files, kV2File));
  const std::string what = quoted(kInvBFile) + " times " + quoted(kV2File) + " has " + std::to_string(k) +
                           " non-zero " + (k == 1 ? "element" : "elements") +
                           ": a plaintext is ambiguous (both candidates encrypt back) with probability 2^-" +
                           std::to_string(k);
  if (ambiguity_rule_holds(k, n)) return {Outcome::held, what};
  return {Outcome::failed, what + ", too likely (a key needs at least n/3, here " + std::to_string((n + 2) / 3) +
                               "; a random key has about 2n/3): make a new key set"};
}

CheckResult check_modes() {
  std::string open_to_others;
  for (const char* name : {kMatAFile, kV1File, kMatBFile, kV2File, kInvAFile, kInvBFile, kSecretKeyFile}) {
    const unsigned permissions = look_at(name).mode;
    if ((permissions & 077) == 0) continue;
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", permissions & 07777);
    open_to_others += (open_to_others.empty() ? "" : ", ") + quoted(name) + " (mode " + mode + ")";
  }
  if (open_to_others.empty()) return {Outcome::held, "the secret files are open to their owner only"};
  return {Outcome::failed, "group or others may read or write " + open_to_others + "; chmod 600 closes them"};
}

// M times the columns of M_Inv, against the identity.
CheckResult check_inverse(const LoadedFiles& files, const char* matrix, const char* inverse_of_it) {
  const int n = files.sizes.n;
  const Mat_ZZ_p M = matrix_of(files, matrix, n), M_Inv = matrix_of(files, inverse_of_it, n);
  for (int c = 0; c < n; ++c) {
    Vec_ZZ_p column(n);
    for (int r = 0; r < n; ++r) column.set(r, M_Inv.get(r, c));
    const Vec_ZZ_p product = M * column;
    for (int r = 0; r < n; ++r)
      if (product[r] != (r == c ? 1 : 0))
        return {Outcome::failed, quoted(matrix) + " times " + quoted(inverse_of_it) + " is not the identity (at row " +
                                     std::to_string(r) + ", column " + std::to_string(c) + ")"};
  }
  return {Outcome::held, quoted(matrix) + " times " + quoted(inverse_of_it) + " is the identity"};
}

CheckResult check_stored_layout(const Sizes& sizes, const std::uint8_t* pk) {
  const int side = sizes.variables_and_one();
  for (std::size_t form = 0; form < sizes.elements(); ++form)
    for (int r = 0; r < side; ++r)
      for (int c = r; c < side; ++c)
        if (const std::uint8_t e = pk[form * sizes.form_digits() + static_cast<std::size_t>(r) * side + c]; e != 0)
          return {Outcome::failed, quoted(kPublicKeyFile) + " form " + std::to_string(form) + " holds " +
                                       std::to_string(e) + " at (" + std::to_string(r) + ", " + std::to_string(c) +
                                       "), on or above the diagonal"};
  return {Outcome::held, "the public forms of " + quoted(kPublicKeyFile) + " are zero on and above the diagonal"};
}

// pk + sk against mat_A F(mat_B x + V2) + V1, F(X) = X^27 X^3.
CheckResult check_public_map(const LoadedFiles& files, int points, std::uint64_t seed) {
  const Sizes& sizes = files.sizes;
  const int n = sizes.n;
  const Mat_ZZ_p mat_A = matrix_of(files, kMatAFile, n), mat_B = matrix_of(files, kMatBFile, n);
  const Vec_ZZ_p V1 = vector_of(files, kV1File), V2 = vector_of(files, kV2File);
  const Field field(matrix_of(files, kReductionTableFile, sizes.reduction_rows()));
  std::mt19937_64 rng(seed);
  const std::string involved = quoted(kPublicKeyFile) + " and " + quoted(kSecretKeyFile) + " with " +
                               quoted(kMatAFile) + ", " + quoted(kV1File) + ", " + quoted(kMatBFile) + ", " +
                               quoted(kV2File) + " and " + quoted(kReductionTableFile);
  for (int point = 0; point < points; ++point) {
    Vec_ZZ_p x(n);
    for (int j = 0; j < n; ++j) x.set(j, static_cast<unsigned char>(1 + rng() % 2));
    std::vector<unsigned char> c(sizes.elements());
    encrypt_at(sizes, files.of(kPublicKeyFile), x.data(), c.data());
    const Vec_ZZ_p s = mat_B * x + V2;
    const Element X(s.data(), s.data() + n), X3 = field.cube(X);
    const Element X30 = field.product(field.frobenius(X3, 2), X3);
    Vec_ZZ_p y(n);
    std::copy(X30.begin(), X30.end(), y.data());
    const Vec_ZZ_p expected = mat_A * y + V1;
    for (int i = 0; i < n; ++i)
      if ((c[static_cast<std::size_t>(i)] + files.of(kSecretKeyFile)[i]) % 3 != expected[i])
        return {Outcome::failed, involved + " do not agree: coordinate " + std::to_string(i) + " of plaintext " +
                                     std::to_string(point + 1) + " differs"};
  }
  return {Outcome::held, involved + " agree at " + std::to_string(points) + " random plaintexts"};
}

}  // namespace

std::vector<CheckResult> check_key_set(int points, std::uint64_t seed) {
  LoadedFiles files;
  FileProblem unreadable;
  const int n = degree_of_reduction_table(kReductionTableFile, &unreadable);
  files.sizes = Sizes{n == 0 ? kDefaultSizes.n : n};
  if (n == 0) files.results.push_back({Outcome::failed, unreadable.message()});
  const Sizes& s = files.sizes;
  files.load(kMatAFile, s.matrix_digits());
  files.load(kV1File, s.elements());
  files.load(kMatBFile, s.matrix_digits());
  files.load(kV2File, s.elements());
  files.load(kInvAFile, s.matrix_digits());
  files.load(kInvBFile, s.matrix_digits());
  files.load(kPublicKeyFile, s.public_key_digits());
  files.load(kSecretKeyFile, s.elements());
  files.load(kReductionTableFile, s.reduction_digits());
  files.load(kFrobeniusTableFile, s.matrix_digits());
  std::vector<CheckResult> results = std::move(files.results);
  const bool tables_loaded = needs(files, {kReductionTableFile, kFrobeniusTableFile}, "the tables", results);
  bool field_known = false;
  if (tables_loaded) results.push_back(check_tables_of(files, field_known));
  results.push_back(check_folder());
  results.push_back(check_modes());
  if (needs(files, {kMatAFile, kInvAFile}, "mat_A times A_Inv", results))
    results.push_back(check_inverse(files, kMatAFile, kInvAFile));
  if (needs(files, {kMatBFile, kInvBFile}, "mat_B times B_Inv", results))
    results.push_back(check_inverse(files, kMatBFile, kInvBFile));
  if (needs(files, {kInvBFile, kV2File}, "how often a plaintext is ambiguous", results))
    results.push_back(check_ambiguity(files));
  if (needs(files, {kPublicKeyFile}, "the layout of the public forms", results))
    results.push_back(check_stored_layout(files.sizes, files.of(kPublicKeyFile)));
  const std::string map = "the public map";
  if (needs(files, {kPublicKeyFile, kSecretKeyFile, kMatAFile, kV1File, kMatBFile, kV2File, kReductionTableFile}, map,
            results)) {
    if (field_known) {
      results.push_back(check_public_map(files, points, seed));
    } else {
      results.push_back({Outcome::skipped, map + ": needs a reduction table that describes the field"});
    }
  }
  return results;
}

}  // namespace gf3mq
