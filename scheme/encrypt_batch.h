// Encryption of many plaintexts with one pass over the public key.
//
// A plaintext x gives c_i = sum over k of x_k s_ik + sum over j of
// P_i(n, j) x_j, with s_ik = sum over j < k of P_i(k, j) x_j (see
// encrypt.h). For a batch of up to 64 plaintexts, the columns x_j of the
// batch are tabulated three at a time: entry c0 + 3 c1 + 9 c2 of group g
// holds c0 x_3g + c1 x_(3g+1) + c2 x_(3g+2) mod 3 for all 64 at once, one
// nibble per plaintext. Each row of each form then costs one 32-byte table
// read per three of its elements, given its elements as such indices: the
// prepared key (3.7 MB at n = 257).
#pragma once

#include <cstddef>
#include <cstdint>

#include "field/sizes.h"
#include "runtime/secure_wipe.h"

namespace gf3mq {

inline constexpr std::size_t kBatch = 64;  // plaintexts per pass

// From this many plaintexts on, preparing the key and encrypting in batches
// takes less time than encrypt one at a time (at 257, preparing costs about
// as much as fifteen single encryptions, a batch of 64 as five).
inline constexpr std::size_t kBatchWorthwhile = 20;

class PreparedPublicKey {
 public:
  // From the flat public-key buffer of n (n + 1)^2 bytes (as read_key_file
  // fills it); bytes of any value count mod 3, as in encrypt.
  PreparedPublicKey(const Sizes& sizes, const unsigned char* pk);

  // c[t * n .. ] = encrypt of m[t * n .. ] for t < count, exactly what
  // encrypt gives one at a time (plaintext bytes count mod 3).
  void encrypt(const unsigned char* m, std::size_t count, unsigned char* c) const;

 private:
  void encrypt_batch(const unsigned char* m, std::size_t count, unsigned char* c) const;
  std::size_t n_;
  SecretVector<std::uint8_t> indices_;  // per form: rows 1..n-1 of the lower triangle, then the linear row
};

}  // namespace gf3mq
