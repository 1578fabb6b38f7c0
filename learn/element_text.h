// Field elements and GF(3) rows written for people: a digit list
// "[2 1 0 ...]" (coefficient i at place i) and a polynomial in x, highest
// power first ("x^6 + 2x^4 + x + 2"), for tracing and showing keys.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace gf3mq {

// "[a0 a1 ... a(n-1)]", each element as a decimal digit.
std::string digit_list_text(const std::uint8_t* a, std::size_t n);

// How a coefficient meets its power of x: "2x^5" for people, "2*x^5" as
// PARI/GP reads it (the form of traces).
enum class PolynomialForm { plain, gp };

// sum of a[i] x^i as "2x^5 + x^2 + 2x + 1" (or "2*x^5 + x^2 + 2*x + 1");
// "0" when every a[i] is 0. variable names the unknown ("x").
std::string polynomial_text(const std::uint8_t* a, std::size_t n, const char* variable = "x",
                            PolynomialForm form = PolynomialForm::plain);

// The sizes up to which traces and key views also write elements as
// polynomials: longer ones are only useful as digit lists.
inline constexpr std::size_t kPolynomialTextLimit = 31;

}  // namespace gf3mq
