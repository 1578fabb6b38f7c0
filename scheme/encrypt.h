// Encryption: evaluating the n stored public forms at a plaintext.
//
// c_i = sum over j < k <= n - 1 of P_i(k, j) x_j x_k + sum over j of P_i(n, j) x_j
// (mod 3). Squares and the constant are not in the stored forms; for a
// plaintext over {1, 2} adding sk[i] gives the full public polynomial.
#pragma once

#include <cstdint>

#include "field/sizes.h"
#include "linalg/vec_zz_p.h"
#include "scheme/composition.h"

// c = P(m) on the flat buffers (layout in key_files.h). Returns 0 with 257
// bytes of c and *clen = 257 written; -1, touching nothing, when pk, m, c or
// clen is null or mlen is not 257 (all 64 bits compared).
int encrypt(const unsigned char* pk, const unsigned char* m, std::uint64_t mlen, unsigned char* c, std::uint64_t* clen);

// The same on the list form of the key; prints the caption "产生的密文为："
// (GBK bytes, or UTF-8 in a UTF-8 locale: console_text.h) and each value
// followed by a blank on standard output.
Vec_ZZ_p encrypt_vec(const Vec_ZZ_p& x, const gf3mq::FormList& polys);

namespace gf3mq {

// c = P(m) at any n: c[0..n) from m[0..n) (bytes count mod 3) and the n
// stored forms of pk, (n + 1)^2 bytes each, laid out as in key_files.h.
void encrypt_at(const Sizes& sizes, const unsigned char* pk, const unsigned char* m, unsigned char* c);

}  // namespace gf3mq
