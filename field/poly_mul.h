// The product of two polynomials over GF(3), before reduction modulo f.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gf3mq {

inline constexpr std::size_t kPolyMaxLength = 257;     // of poly_mul's factors
inline constexpr std::size_t kPolyProductBytes = 576;  // x^0 .. x^512, padded to whole 64-byte vectors

// Bytes poly_mul_long writes for factors of `length` coefficients: x^0 ..
// x^(2 length - 2), padded to whole 64-byte vectors.
constexpr std::size_t long_product_bytes(std::size_t length) { return (2 * length - 1 + 63) / 64 * 64; }

// product[0..576) = a * b as polynomials over GF(3), with a and b of
// `length` <= 257 coefficients (any byte values, taken mod 3); coefficient e
// of the product at index e, zeros above 2 * length - 2.
void poly_mul(const std::uint8_t* a, const std::uint8_t* b, std::size_t length, std::uint8_t* product);

// product[0..long_product_bytes(length)) = a * b as polynomials over GF(3),
// for factors of length up to kLargestDegree (coefficients 0..2), zeros
// above 2 length - 2. Karatsuba's split into halves, down to products
// poly_mul takes.
void poly_mul_long(const std::uint8_t* a, const std::uint8_t* b, std::size_t length, std::uint8_t* product);

}  // namespace gf3mq
