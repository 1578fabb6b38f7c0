// Decryption: from a ciphertext to the two candidate plaintexts
//   m1 = B_Inv (Y^d - V2),  m2 = B_Inv (-Y^d - V2),  Y = A_Inv (c + sk - V1),
// one of which is the message (Y^d is X or -X for the central map's input X).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "field/sizes.h"
#include "files/digit_file.h"
#include "linalg/mat_zz_p.h"
#include "linalg/vec_zz_p.h"
#include "scheme/composition.h"

// Decrypts c (257 bytes) with sk (257 bytes) and the secret files "new
// Inv_A.txt", "new Inv_B.txt", "new V1.txt", "new V2.txt" and the reduction
// table "new Xe_mod_Irredfx.txt". Returns 0 with *mlen = 514, m1 in m[0..257)
// and m2 in m[257..514). Returns -1, writing nothing, when a pointer is null,
// clen is not 257 (all 64 bits compared) or a file cannot be loaded
// completely and validly (the reduction table must describe the field, as
// field_tables.h checks it); problem (when given) then names the file.
// (default_size.cpp: SecretMaps at 257.)
int decrypt(const unsigned char* sk, const unsigned char* c, std::uint64_t clen, unsigned char* m, std::uint64_t* mlen,
            gf3mq::FileProblem* problem = nullptr);

namespace gf3mq {

class Field;
class LockedPages;

// The secret files of a key set at n, each read as read_key_file of
// key_files.h reads it (n measured by the reduction table), and the
// reduction table, checked as field_tables.h does: each reader loads the
// parts it needs, in its own order.
struct SecretKeyFiles {
  enum class Part { mat_A, V1, mat_B, V2, A_Inv, B_Inv, sk, reduction };
  explicit SecretKeyFiles(const Sizes& sizes);

  Sizes sizes;
  Mat_ZZ_p mat_A, mat_B, A_Inv, B_Inv, reduction;  // reduction: the table
  Vec_ZZ_p V1, V2;
  SecretVector<std::uint8_t> sk;  // "new sk.txt": the n corrections

  // Reads parts in the order given; false, with problem naming the file, at
  // the first that is missing or damaged.
  bool read(std::initializer_list<Part> parts, FileProblem* problem);
};

// The secret files decrypt reads, loaded once for many decryptions at n:
// "new Inv_A.txt", "new Inv_B.txt", "new V1.txt", "new V2.txt" and the
// reduction table.
struct SecretMaps : SecretKeyFiles {
  explicit SecretMaps(const Sizes& sizes = kDefaultSizes);
  ~SecretMaps();
  SecretMaps(const SecretMaps&) = delete;
  SecretMaps& operator=(const SecretMaps&) = delete;

  // False, with problem naming the file, when one is missing or damaged.
  bool load(FileProblem* problem);
  // Locks the pages of the loaded A_Inv, B_Inv, V1 and V2 in memory
  // (locked_pages.h) until the maps are released or loaded again, when they
  // are wiped before they are unlocked: for
  // holders that keep them a while, as gf3mq-decrypt does over its input.
  // (A one-time decrypt does not: the locks cost half its time.)
  void keep_out_of_swap();
  // What decrypt writes for sk and c (n bytes each), once loaded: m1 in
  // m[0..n), m2 in m[n..2n), by decryption_candidates.
  void decrypt(const unsigned char* sk, const unsigned char* c, unsigned char* m) const;

 private:
  std::unique_ptr<Field> field_;  // of the loaded table
  // The loaded maps' pages, kept out of swap where the system allows.
  std::vector<std::unique_ptr<LockedPages>> locked_;
};

// The one way from a ciphertext to its candidates, at every n (field.n()):
// Y = A_Inv (corrected - V1) for corrected = c + sk, then
// m1 = B_Inv (Y^d - V2) and m2 = B_Inv (-Y^d - V2) (Field::central_map_root).
// Ends the process with "Vector index out of range." when Y has fewer than
// n elements.
std::pair<Vec_ZZ_p, Vec_ZZ_p> decryption_candidates(const Field& field, const Vec_ZZ_p& corrected,
                                                    const Mat_ZZ_p& A_Inv, const Vec_ZZ_p& V1, const Mat_ZZ_p& B_Inv,
                                                    const Vec_ZZ_p& V2);

// decrypt at any n, with the secret files and the reduction table of the
// folder: c and sk of n bytes, m of 2n.
bool decrypt_at(const Sizes& sizes, const unsigned char* sk, const unsigned char* c, unsigned char* m,
                FileProblem* problem);

// Which candidate is the message: the one that encrypts back to c under the
// public key pk. Only candidates over {1, 2} can (the stored key is exact for
// them alone); for a message the other candidate almost always holds a 0.
// c has n bytes, m both candidates (2n bytes), pk n (n + 1)^2. Returns 0 or
// 1; kNoMessage when neither encrypts back (c is not a ciphertext of this
// key set, or its files do not belong together: from different key
// generations, or damaged); and kAmbiguousMessage when both do, so that the
// plaintext cannot be told from the ciphertext. Both candidates are always
// looked at. Two equal candidates are one message, 0: where
// X = mat_B x + V2 is 0, Y = 0 and both are x0 = -Inv_B V2.
//
// The two candidates always sum to B_Inv V2; where that vector has k
// non-zero elements, the second candidate of a random plaintext is over
// {1, 2} with probability 2^-k (a random key has k near 2n/3).
inline constexpr int kNoMessage = -1;
inline constexpr int kAmbiguousMessage = -2;
int message_index(const Sizes& sizes, const unsigned char* pk, const unsigned char* c, const unsigned char* m);

// message_index for count ciphertexts at once: c holds them one after another
// (n bytes each), m their candidates (2n bytes each), out[t] receives the
// answer for ciphertext t. From kBatchWorthwhile ciphertexts on, the
// candidates are encrypted back in batches (encrypt_batch.h).
void message_indices(const Sizes& sizes, const unsigned char* pk, const unsigned char* c, const unsigned char* m,
                     std::size_t count, int* out);

}  // namespace gf3mq

// The same computation on loaded objects; appends m1, then m2, to out.
// Returns 0. The table is taken as it is, as central_map_root takes it
// (field_elem.h); sk and c are read at 257 elements (default_size.cpp).
int decrypt_vec(const Vec_ZZ_p& c, const gf3mq::ByteList& sk, const Mat_ZZ_p& A_Inv, const Vec_ZZ_p& V1,
                const Mat_ZZ_p& B_Inv, const Vec_ZZ_p& V2, const Mat_ZZ_p& Xi_modIrred, std::vector<Vec_ZZ_p>& out);
