// Encryption and decryption told step by step, for people learning the
// scheme: every value on a line of its own, labelled with what it is, in the
// order of the computation:
//   label = [a0 a1 ... a(n-1)]                    a vector of GF(3)^n
//   label = [a0 a1 ... a(n-1)] = 2*x^5 + x + 1    a field element, n <= 31 (as gp reads it)
// and sentences that say what follows from them. The values are computed
// anew from the secret maps, through Field (field.h), not taken from the
// routines that encrypt and decrypt, so that a trace can be checked against
// them.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "field/sizes.h"
#include "files/file_problem.h"
#include "scheme/decrypt.h"

namespace gf3mq {

// The secret maps of encryption, P(x) = mat_A F(mat_B x + V2) + V1, with the
// reduction table and the corrections of "new sk.txt".
struct EncryptionMaps : SecretKeyFiles {
  using SecretKeyFiles::SecretKeyFiles;
  // "new Mat_A.txt", "new Mat_B.txt", "new V1.txt", "new V2.txt", "new
  // sk.txt" and the reduction table at sizes.n; false with problem set when
  // one is missing or damaged.
  bool load(FileProblem* problem) {
    return read({Part::mat_A, Part::mat_B, Part::V1, Part::V2, Part::sk, Part::reduction}, problem);
  }
};

// The lines of one trace.
class Trace {
 public:
  Trace(std::ostream& out, const Sizes& sizes) : out_(out), n_(sizes.elements()) {}

  void heading(const std::string& what);                          // "== what =="
  void secret_warning();                                          // once per trace, before any secret value
  void says(const std::string& sentence);                         // a line of text
  void vector(const std::string& label, const std::uint8_t* v);   // label = [v]
  void element(const std::string& label, const std::uint8_t* a);  // label = [a] = polynomial (n <= 31)

 private:
  std::ostream& out_;
  std::size_t n_;
  bool warned_ = false;
};

// Encryption of plaintext x into the ciphertext c that the public key gave;
// with maps (may be null: a folder without the secret files), also x -> X =
// mat_B x + V2 -> X^3, X^27, X^30 -> mat_A X^30 + V1, and whether c + sk
// equals it.
void trace_encryption(Trace& trace, const Sizes& sizes, const EncryptionMaps* maps, const unsigned char* x,
                      const unsigned char* c);

// Decryption of c with the maps decryption uses and the corrections sk: Y =
// Inv_A (c + sk - V1), d, Y^d = +-X, both candidates Inv_B (+-X - V2), and
// which encrypts back to c under pk (and why the other does not; two equal
// candidates are one message).
void trace_decryption(Trace& trace, const SecretMaps& maps, const unsigned char* sk, const unsigned char* pk,
                      const unsigned char* c);

// The base-3 digits of 30 d mod (3^n - 1), lowest first, n of them, from the
// digits of d (lowest first): the identity 30 d = 1 + (3^n - 1) / 2 holds when
// they are 2, 1, 1, ..., 1.
std::vector<std::uint8_t> thirty_times_mod(const std::vector<std::uint8_t>& d, int n);

}  // namespace gf3mq
