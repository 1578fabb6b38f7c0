// The key files and the flat key buffers.
//
// "new pk.txt": n forms of (n + 1) x (n + 1), one digit per element, no
// separators; pk[m (n + 1)^2 + r (n + 1) + c] is row r, column c of form m,
// with variables 0..n-1 the plaintext and n the constant 1 (at 257:
// pk[m * 66564 + r * 258 + c]). Only the strict lower triangle of a stored
// form is non-zero.
// "new sk.txt": n digits, digit i the correction of public polynomial i.
#pragma once

#include <cstddef>
#include <cstdint>

#include "field/sizes.h"
#include "files/digit_file.h"
#include "scheme/composition.h"

namespace gf3mq {

// The sizes at the default n = 257 (field/sizes.h).
inline constexpr std::size_t kFormBytes = kDefaultSizes.form_digits();             // 258 x 258
inline constexpr std::size_t kPublicKeyBytes = kDefaultSizes.public_key_digits();  // 257 forms
static_assert(kFormBytes == 66564 && kPublicKeyBytes == 17106948);

inline constexpr const char* kPublicKeyFile = "new pk.txt";
inline constexpr const char* kSecretKeyFile = "new sk.txt";
inline constexpr const char* kMatAFile = "new Mat_A.txt";
inline constexpr const char* kMatBFile = "new Mat_B.txt";
inline constexpr const char* kInvAFile = "new Inv_A.txt";
inline constexpr const char* kInvBFile = "new Inv_B.txt";
inline constexpr const char* kV1File = "new V1.txt";
inline constexpr const char* kV2File = "new V2.txt";

// The digits of a key file of a set at n, by the one size rule of the key
// files: at 257 the first `count` digits, as read_pk and read_sk take them
// (whitespace skipped, anything after them ignored); at any other n exactly
// `count` digits and nothing after them but whitespace, so that files of two
// sizes are never mixed. On failure out is all zeros and problem names the
// file; one of the wrong length is told with the n it was measured against
// and by what (measured_by: the file n came from), but for "new pk.txt" and
// "new sk.txt" at 257, told in read_pk's and read_sk's words.
bool read_key_file(const Sizes& sizes, const char* file_name, std::uint8_t* out, std::size_t count,
                   FileProblem* problem, const char* measured_by);

// The same with the elements passed to take in blocks of `block`, in order,
// never held whole (read_digit_file_in_blocks); on failure what was made of
// the blocks taken is to be dropped.
bool read_key_file_in_blocks(const Sizes& sizes, const char* file_name, std::size_t count, std::size_t block,
                             const DigitBlocks& take, FileProblem* problem, const char* measured_by);

// "new pk.txt" into pk (n (n + 1)^2 bytes) and "new sk.txt" into sk (n),
// by read_key_file, measured by the reduction table.
bool read_key_pair(const Sizes& sizes, unsigned char* pk, unsigned char* sk, FileProblem* problem);

// The n of a public key file on its own: the odd n from 5 to 1021 whose
// n (n + 1)^2 is the number of its digits; 257 when none is and when there
// is no such file. 0 when the file is there but cannot be opened or read,
// with problem (when given) naming it and the system's error, as
// degree_of_reduction_table of field_tables.h.
int degree_of_public_key(const char* file_name = kPublicKeyFile, FileProblem* problem = nullptr);

}  // namespace gf3mq

// Flat readers: fill the whole buffer (17106948 or 257 bytes) from the first
// digits of the file, whitespace skipped. Return 1, or 0 when the file cannot
// be opened, is short or holds a character other than 0, 1, 2; the buffer is
// then all zeros and problem (when given) says which.
int read_pk(const char* file_name, unsigned char* pk, gf3mq::FileProblem* problem = nullptr);
int read_sk(const char* file_name, unsigned char* sk, gf3mq::FileProblem* problem = nullptr);

// Writers: append every element of every form (row-major), or every byte, as
// one digit each, never through a symbolic link; a missing file is created
// with mode 0644 (public key) or 0600 (secret key), less the umask. Return
// 1, or 0 when the file cannot be opened, is not a regular file, or cannot
// be written.
int write_pk(const char* file_name, const gf3mq::FormList& PK);
int write_sk(const char* file_name, const gf3mq::ByteList& SK);

// Structured readers: append 257 forms of 258 x 258, or 257 bytes, read from
// the first digits of the file. Return 1, or 0 (nothing appended) on a
// missing, short or corrupt file.
int read_pk_matrices(const char* file_name, gf3mq::FormList& PK, gf3mq::FileProblem* problem = nullptr);
int read_sk_vector(const char* file_name, gf3mq::ByteList& SK, gf3mq::FileProblem* problem = nullptr);
