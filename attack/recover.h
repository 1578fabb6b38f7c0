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

// Below this n the relations cannot be had from the public forms (a set of
// indices whose pairs span and whose equations suffice is as large as n
// itself): the plaintext is searched for instead.
inline constexpr std::size_t kSmallestDegreeForRelations = 9;

// The plaintext of c by exhaustive search: the first of the 2^n plaintexts
// over {1, 2} (in the order of x_0 + 2 x_1 + 4 x_2 + ..., digit 0 for 1 and
// 1 for 2) that encrypts to c. False, with x untouched, when none does. For
// n up to kLargestSearch.
inline constexpr std::size_t kLargestSearch = 24;
bool search_plaintext(const PublicForms& forms, const std::uint8_t* c, std::uint8_t* x);

}  // namespace gf3mq
