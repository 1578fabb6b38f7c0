// The element text form read in vector registers: the digits 0, 1, 2 of a
// file turned into the elements they stand for, checked as they go.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gf3mq {

// r = the length of the leading run of the characters 0, 1, 2 in text[0..n),
// and out[i] = text[i] - '0' for i < r; out[r..n) is left as it was (out
// may be text itself). At the kernel width in use.
std::size_t digits_to_elements(const unsigned char* text, std::size_t n, std::uint8_t* out);

}  // namespace gf3mq
