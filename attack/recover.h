// A plaintext recovered from its ciphertext with the relations.
#pragma once

#include <cstdint>

#include "attack/public_forms.h"
#include "attack/relations.h"

namespace gf3mq {

// The plaintext x of ciphertext c (n elements each). Each relation is linear
// in x once c is known: sum over u of (a_u . c + b_u) x_u + (g . c + d) = 0.
// The n equations have rank n - 1 (the identity also holds for U = 0 and
// for the other square root), so their solutions form a line of three
// points; the plaintext is the one over {1, 2} that encrypts back to c.
// False, with x untouched, when no point does.
bool recover_plaintext(const Relations& r, const PublicForms& forms, const std::uint8_t* c, std::uint8_t* x);

}  // namespace gf3mq
