#include "scheme/key_set_check.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>

#include "field/field_elem.h"
#include "field/field_polynomial.h"
#include "field/field_tables.h"
#include "files/folder.h"
#include "scheme/encrypt.h"
#include "scheme/key_files.h"

namespace gf3mq {

namespace {

using Outcome = CheckResult::Outcome;

std::string quoted(const char* name) { return std::string("\"") + name + "\""; }

// The files of a set, read once: the digits of each, or why it failed.
struct LoadedFiles {
  std::map<std::string, SecretVector<std::uint8_t>> digits;
  std::vector<CheckResult> results;

  bool have(const char* name) const { return digits.count(name) != 0; }
  const std::uint8_t* of(const char* name) const { return digits.at(name).data(); }

  void load(const char* name, std::size_t count) {
    SecretVector<std::uint8_t> read(count);
    FileProblem problem;
    if (read_whole_digit_file(name, read.data(), count, &problem)) {
      digits[name] = std::move(read);
      results.push_back({Outcome::held, quoted(name) + " holds its " + std::to_string(count) + " digits and nothing else"});
    } else {
      results.push_back({Outcome::failed, problem.message()});
    }
  }
};

Mat_ZZ_p matrix_of(const LoadedFiles& files, const char* name, int rows) {
  Mat_ZZ_p m(rows, kDegree);
  std::copy_n(files.of(name), static_cast<std::size_t>(rows) * kDegree, m.data());
  return m;
}

Vec_ZZ_p vector_of(const LoadedFiles& files, const char* name) {
  Vec_ZZ_p v(kDegree);
  std::copy_n(files.of(name), kDegree, v.data());
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
  const Mat_ZZ_p reduction = matrix_of(files, kReductionTableFile, kReductionRows);
  const Mat_ZZ_p frobenius = matrix_of(files, kFrobeniusTableFile, kFrobeniusRows);
  FileProblem problem;
  reduction_sound = check_reduction_table(reduction, &problem);
  if (!reduction_sound || !check_frobenius_table(frobenius, reduction, &problem))
    return {Outcome::failed, problem.message()};
  return {Outcome::held, "the tables are consistent and describe GF(3^257) with f = " +
                             format_polynomial(polynomial_of_table(reduction))};
}

CheckResult check_folder() {
  unsigned mode = 0;
  const std::string folder = quoted(working_directory().c_str());
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
  const Mat_ZZ_p B_Inv = matrix_of(files, kInvBFile, kDegree);
  const Vec_ZZ_p sum = B_Inv * vector_of(files, kV2File);
  const int k = static_cast<int>(std::count_if(sum.data(), sum.data() + kDegree, [](std::uint8_t e) { return e != 0; }));
  const std::string what = quoted(kInvBFile) + " times " + quoted(kV2File) + " has " + std::to_string(k) +
                           " non-zero " + (k == 1 ? "element" : "elements") +
                           ": a plaintext is ambiguous (both candidates encrypt back) with probability 2^-" +
                           std::to_string(k);
  if (3 * k >= kDegree) return {Outcome::held, what};
  return {Outcome::failed, what + ", too likely (a key needs at least n/3, here " + std::to_string((kDegree + 2) / 3) +
                               "; a random key has about 2n/3): make a new key set"};
}

CheckResult check_modes() {
  std::string open_to_others;
  for (const char* name : {kMatAFile, kV1File, kMatBFile, kV2File, kInvAFile, kInvBFile, kSecretKeyFile}) {
    struct stat info {};
    if (lstat(name, &info) != 0 || (info.st_mode & 077) == 0) continue;
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    open_to_others += (open_to_others.empty() ? "" : ", ") + quoted(name) + " (mode " + mode + ")";
  }
  if (open_to_others.empty()) return {Outcome::held, "the secret files are open to their owner only"};
  return {Outcome::failed, "group or others may read or write " + open_to_others + "; chmod 600 closes them"};
}

// M times the columns of M_Inv, against the identity.
CheckResult check_inverse(const LoadedFiles& files, const char* matrix, const char* inverse_of_it) {
  const Mat_ZZ_p M = matrix_of(files, matrix, kDegree), M_Inv = matrix_of(files, inverse_of_it, kDegree);
  for (int c = 0; c < kDegree; ++c) {
    Vec_ZZ_p column(kDegree);
    for (int r = 0; r < kDegree; ++r) column.set(r, M_Inv.get(r, c));
    const Vec_ZZ_p product = M * column;
    for (int r = 0; r < kDegree; ++r)
      if (product[r] != (r == c ? 1 : 0))
        return {Outcome::failed, quoted(matrix) + " times " + quoted(inverse_of_it) + " is not the identity (at row " +
                                     std::to_string(r) + ", column " + std::to_string(c) + ")"};
  }
  return {Outcome::held, quoted(matrix) + " times " + quoted(inverse_of_it) + " is the identity"};
}

CheckResult check_stored_layout(const std::uint8_t* pk) {
  for (std::size_t form = 0; form < kDegree; ++form)
    for (int r = 0; r < kVariablesAndOne; ++r)
      for (int c = r; c < kVariablesAndOne; ++c)
        if (const std::uint8_t e = pk[form * kFormBytes + static_cast<std::size_t>(r) * kVariablesAndOne + c]; e != 0)
          return {Outcome::failed, quoted(kPublicKeyFile) + " form " + std::to_string(form) + " holds " +
                                       std::to_string(e) + " at (" + std::to_string(r) + ", " + std::to_string(c) +
                                       "), on or above the diagonal"};
  return {Outcome::held, "the public forms of " + quoted(kPublicKeyFile) + " are zero on and above the diagonal"};
}

// pk + sk against mat_A F(mat_B x + V2) + V1, F(X) = X^27 X^3.
CheckResult check_public_map(const LoadedFiles& files, int points, std::uint64_t seed) {
  const Mat_ZZ_p mat_A = matrix_of(files, kMatAFile, kDegree), mat_B = matrix_of(files, kMatBFile, kDegree);
  const Vec_ZZ_p V1 = vector_of(files, kV1File), V2 = vector_of(files, kV2File);
  const Mat_ZZ_p table = matrix_of(files, kReductionTableFile, kReductionRows);
  std::mt19937_64 rng(seed);
  const std::string involved = quoted(kPublicKeyFile) + " and " + quoted(kSecretKeyFile) + " with " +
                               quoted(kMatAFile) + ", " + quoted(kV1File) + ", " + quoted(kMatBFile) + ", " +
                               quoted(kV2File) + " and " + quoted(kReductionTableFile);
  for (int point = 0; point < points; ++point) {
    Vec_ZZ_p x(kDegree);
    for (int j = 0; j < kDegree; ++j) x.set(j, static_cast<unsigned char>(1 + rng() % 2));
    unsigned char c[kDegree];
    std::uint64_t clen = 0;
    encrypt(files.of(kPublicKeyFile), x.data(), kMessageBytes, c, &clen);
    FieldElem X, X3, X9, X27, X30;
    const Vec_ZZ_p s = mat_B * x + V2;
    std::copy_n(s.data(), kDegree, X.coef);
    field_cube(X, table, X3);
    field_cube(X3, table, X9);
    field_cube(X9, table, X27);
    field_mul(X27, X3, table, X30);
    Vec_ZZ_p y(kDegree);
    std::copy_n(X30.coef, kDegree, y.data());
    const Vec_ZZ_p expected = mat_A * y + V1;
    for (int i = 0; i < kDegree; ++i)
      if ((c[i] + files.of(kSecretKeyFile)[i]) % 3 != expected[i])
        return {Outcome::failed, involved + " do not agree: coordinate " + std::to_string(i) + " of plaintext " +
                                     std::to_string(point + 1) + " differs"};
  }
  return {Outcome::held, involved + " agree at " + std::to_string(points) + " random plaintexts"};
}

}  // namespace

std::vector<CheckResult> check_key_set(int points, std::uint64_t seed) {
  LoadedFiles files;
  files.load(kMatAFile, kDegree * kDegree);
  files.load(kV1File, kDegree);
  files.load(kMatBFile, kDegree * kDegree);
  files.load(kV2File, kDegree);
  files.load(kInvAFile, kDegree * kDegree);
  files.load(kInvBFile, kDegree * kDegree);
  files.load(kPublicKeyFile, kPublicKeyBytes);
  files.load(kSecretKeyFile, kSecretKeyBytes);
  files.load(kReductionTableFile, static_cast<std::size_t>(kReductionRows) * kDegree);
  files.load(kFrobeniusTableFile, static_cast<std::size_t>(kFrobeniusRows) * kDegree);
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
    results.push_back(check_stored_layout(files.of(kPublicKeyFile)));
  const std::string map = "the public map";
  if (needs(files, {kPublicKeyFile, kSecretKeyFile, kMatAFile, kV1File, kMatBFile, kV2File, kReductionTableFile},
            map, results)) {
    if (field_known) {
      results.push_back(check_public_map(files, points, seed));
    } else {
      results.push_back({Outcome::skipped, map + ": needs a reduction table that describes the field"});
    }
  }
  return results;
}

}  // namespace gf3mq
