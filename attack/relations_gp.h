// Relations as PARI/GP input, with a check that gp runs on them.
//
// The file holds the public forms as encryption reads them, Q_i with the
// coefficient of x_k x_r at row r, column k (k < r, zeros elsewhere) and
// row i of L the coefficients of x_k, so that
//   c_i = x Q_i x~ + L[i,] x~
// and the relations, relation k being
//   x a[k] c~ + b[k,] x~ + g[k,] c~ + d[k] = 0   (mod 3)
// for every plaintext x over {1, 2} and its ciphertext c. Each matrix is a
// list of strings of digits, one per row: at n = 257 this is 34 MB, where
// gp's own matrices would take gigabytes, and no sum in it is longer than
// gp reads (a few tens of thousands of terms). check() encrypts every
// plaintext over {1, 2} (n <= 14) or a few random ones with the forms and
// prints "check passed: ..." or the relations that fail, and where.
#pragma once

#include <cstdint>
#include <string>

#include "attack/public_forms.h"
#include "attack/relations.h"
#include "files/file_problem.h"

namespace gf3mq {

// Up to this n the check goes over every plaintext over {1, 2}.
inline constexpr std::size_t kGpCheckEveryPlaintextUpTo = 14;

// Writes the file whole or not at all, as save_relations does.
bool save_relations_gp(const std::string& file_name, const Relations& r, const PublicForms& forms,
                       std::uint64_t key_digest, FileProblem* problem);

}  // namespace gf3mq
