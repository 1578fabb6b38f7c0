// The product of two polynomials over GF(3), before reduction modulo f.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gf3mq {

inline constexpr std::size_t kPolyMaxLength = 257;
inline constexpr std::size_t kPolyProductBytes = 576;  // x^0 .. x^512, padded to whole 64-byte vectors

// product[0..576) = a * b as polynomials over GF(3), with a and b of
// `length` <= 257 coefficients (any byte values, taken mod 3); coefficient e
// of the product at index e, zeros above 2 * length - 2.
void poly_mul(const std::uint8_t* a, const std::uint8_t* b, std::size_t length, std::uint8_t* product);

}  // namespace gf3mq
