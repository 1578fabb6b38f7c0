#include "scheme/key_files.h"

#include <algorithm>
#include <vector>

#include "field/field_tables.h"
#include "linalg/secure_wipe.h"

using gf3mq::kDegree;
using gf3mq::kFormBytes;
using gf3mq::kVariablesAndOne;
using gf3mq::kPublicKeyBytes;
using gf3mq::kSecretKeyBytes;

namespace {

int read_flat(const char* file_name, unsigned char* buffer, std::size_t count, gf3mq::FileProblem* problem) {
  if (file_name == nullptr || buffer == nullptr) return 0;
  if (gf3mq::read_digit_file(file_name, buffer, count, problem)) return 1;
  std::fill_n(buffer, count, static_cast<unsigned char>(0));  // never half a key
  return 0;
}

}  // namespace

int read_pk(const char* file_name, unsigned char* pk, gf3mq::FileProblem* problem) {
  return read_flat(file_name, pk, kPublicKeyBytes, problem);
}

int read_sk(const char* file_name, unsigned char* sk, gf3mq::FileProblem* problem) {
  return read_flat(file_name, sk, kSecretKeyBytes, problem);
}

int write_pk(const char* file_name, const FormList& PK) {
  gf3mq::DigitFileAppender fout_Pk(file_name);
  if (!fout_Pk.is_open()) return 0;
  for (const Mat_ZZ_p& form : PK)
    fout_Pk.append(form.data(), static_cast<std::size_t>(form.num_rows()) * static_cast<std::size_t>(form.num_cols()));
  return fout_Pk.close() ? 1 : 0;
}

int write_sk(const char* file_name, const ByteList& SK) {
  return gf3mq::append_digit_file(file_name, SK.data(), SK.size()) ? 1 : 0;
}

int read_pk_matrices(const char* file_name, FormList& PK, gf3mq::FileProblem* problem) {
  std::vector<std::uint8_t> digits(kPublicKeyBytes);
  if (!gf3mq::read_digit_file(file_name, digits.data(), digits.size(), problem)) return 0;
  PK.reserve(PK.size() + kDegree);
  for (int m = 0; m < kDegree; ++m) {
    Mat_ZZ_p form(kVariablesAndOne, kVariablesAndOne);
    std::copy_n(digits.data() + static_cast<std::size_t>(m) * kFormBytes, kFormBytes, form.data());
    PK.push_back(std::move(form));
  }
  return 1;
}

int read_sk_vector(const char* file_name, ByteList& SK, gf3mq::FileProblem* problem) {
  std::uint8_t digits[kSecretKeyBytes];
  const bool read = gf3mq::read_digit_file(file_name, digits, kSecretKeyBytes, problem);
  if (read) SK.insert(SK.end(), digits, digits + kSecretKeyBytes);
  gf3mq::secure_wipe(digits, sizeof digits);
  return read ? 1 : 0;
}
