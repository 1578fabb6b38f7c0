#include "scheme/key_files.h"

#include <algorithm>
#include <vector>

#include "field/field_tables.h"
#include "files/folder.h"
#include "runtime/secure_wipe.h"

using gf3mq::kDefaultSizes;
using gf3mq::kFormBytes;
using gf3mq::kPublicKeyBytes;

namespace gf3mq {

namespace {

int read_flat(const char* file_name, unsigned char* buffer, std::size_t count, FileProblem* problem) {
  if (file_name == nullptr || buffer == nullptr) return 0;
  if (read_digit_file(file_name, buffer, count, problem)) return 1;
  std::fill_n(buffer, count, static_cast<unsigned char>(0));  // never half a key
  return 0;
}

// The one size rule of the key files (see read_key_file): the first digits
// at 257, exactly the digits wanted at any other n.
bool reads_first_digits(const Sizes& sizes) { return sizes.n == kDefaultSizes.n; }

// A failed read of a key file told in problem, by the rule of read_key_file.
bool key_file_problem(const Sizes& sizes, const char* file_name, const DigitFileResult& read, std::size_t count,
                      FileProblem* problem, const char* measured_by) {
  std::string what = read.describe(count);
  // A file of the wrong length: say which n it was measured against (the
  // public and secret keys read by their first digits: as read_pk and read_sk say it).
  const std::string name = file_name;
  const bool own_words = reads_first_digits(sizes) && (name == kPublicKeyFile || name == kSecretKeyFile);
  if (!own_words && (read.status == DigitFileStatus::too_short || read.status == DigitFileStatus::too_long))
    what += " (n = " + std::to_string(sizes.n) + ", as " + quoted(measured_by) + " has it)";
  return report_problem(problem, file_name, what);
}

}  // namespace

bool read_key_file(const Sizes& sizes, const char* file_name, std::uint8_t* out, std::size_t count,
                   FileProblem* problem, const char* measured_by) {
  const DigitFileResult read =
      reads_first_digits(sizes) ? read_digit_file(file_name, out, count) : read_whole_digit_file(file_name, out, count);
  if (read.ok()) return true;
  std::fill_n(out, count, std::uint8_t{0});  // never half a key
  return key_file_problem(sizes, file_name, read, count, problem, measured_by);
}

bool read_key_file_in_blocks(const Sizes& sizes, const char* file_name, std::size_t count, std::size_t block,
                             const DigitBlocks& take, FileProblem* problem, const char* measured_by) {
  const DigitFileResult read = read_digit_file_in_blocks(file_name, count, !reads_first_digits(sizes), block, take);
  return read.ok() || key_file_problem(sizes, file_name, read, count, problem, measured_by);
}

bool read_key_pair(const Sizes& sizes, unsigned char* pk, unsigned char* sk, FileProblem* problem) {
  return read_key_file(sizes, kPublicKeyFile, pk, sizes.public_key_digits(), problem, kReductionTableFile) &&
         read_key_file(sizes, kSecretKeyFile, sk, sizes.elements(), problem, kReductionTableFile);
}

int degree_of_public_key(const char* file_name, FileProblem* problem) {
  // The file's size says it at once for a file of digits alone (and a line
  // break); otherwise its digits are counted.
  constexpr auto kDigits = &Sizes::public_key_digits;
  const std::size_t size = size_of_file(file_name);
  if (const int n = std::max(degree_from_digits(size, kDigits), degree_from_digits(size - 1, kDigits))) return n;
  return degree_of_digit_file(file_name, kDigits, problem);
}

}  // namespace gf3mq

int read_pk(const char* file_name, unsigned char* pk, gf3mq::FileProblem* problem) {
  return gf3mq::read_flat(file_name, pk, kPublicKeyBytes, problem);
}

int read_sk(const char* file_name, unsigned char* sk, gf3mq::FileProblem* problem) {
  return gf3mq::read_flat(file_name, sk, kDefaultSizes.elements(), problem);
}

int write_pk(const char* file_name, const gf3mq::FormList& PK) {
  gf3mq::DigitFileAppender fout_Pk(file_name, 0644);
  if (!fout_Pk.is_open()) return 0;
  for (const Mat_ZZ_p& form : PK)
    fout_Pk.append(form.data(), static_cast<std::size_t>(form.num_rows()) * static_cast<std::size_t>(form.num_cols()));
  return fout_Pk.close() ? 1 : 0;
}

int write_sk(const char* file_name, const gf3mq::ByteList& SK) {
  return gf3mq::append_digit_file(file_name, SK.data(), SK.size(), 0600) ? 1 : 0;
}

int read_pk_matrices(const char* file_name, gf3mq::FormList& PK, gf3mq::FileProblem* problem) {
  std::vector<std::uint8_t> digits(kPublicKeyBytes);
  if (!gf3mq::read_digit_file(file_name, digits.data(), digits.size(), problem)) return 0;
  PK.reserve(PK.size() + kDefaultSizes.n);
  for (int m = 0; m < kDefaultSizes.n; ++m) {
    Mat_ZZ_p form(kDefaultSizes.variables_and_one(), kDefaultSizes.variables_and_one());
    std::copy_n(digits.data() + static_cast<std::size_t>(m) * kFormBytes, kFormBytes, form.data());
    PK.push_back(std::move(form));
  }
  return 1;
}

int read_sk_vector(const char* file_name, gf3mq::ByteList& SK, gf3mq::FileProblem* problem) {
  std::uint8_t digits[kDefaultSizes.elements()];
  const bool read = gf3mq::read_digit_file(file_name, digits, kDefaultSizes.elements(), problem);
  if (read) SK.insert(SK.end(), digits, digits + kDefaultSizes.elements());
  gf3mq::secure_wipe(digits, sizeof digits);
  return read ? 1 : 0;
}
