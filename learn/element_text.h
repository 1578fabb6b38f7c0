// Field elements and GF(3) rows written for people: a digit list
// "[2 1 0 ...]" (coefficient i at place i) and a polynomial in x, highest
// power first ("x^6 + 2x^4 + x + 2", polynomial_text of
// field_polynomial.h), for tracing and showing keys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "field/field_polynomial.h"  // polynomial_text

namespace gf3mq {

// "a0, a1, ..., a(n-1)" for separator ", ": each element as a decimal digit.
std::string digits_text(const std::uint8_t* a, std::size_t n, const char* separator);

// "[a0 a1 ... a(n-1)]"
std::string digit_list_text(const std::uint8_t* a, std::size_t n);

// The sizes up to which traces and key views also write elements as
// polynomials: longer ones are only useful as digit lists.
inline constexpr std::size_t kPolynomialTextLimit = 31;

}  // namespace gf3mq
