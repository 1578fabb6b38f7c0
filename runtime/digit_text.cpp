#include "runtime/digit_text.h"

#include "runtime/simd_bytes.h"

namespace gf3mq {

namespace {

using simd::Bytes64;

// Whether any byte of v is a character other than 0, 1, 2 (v holds c - '0').
[[gnu::always_inline]] inline bool any_above_2(Bytes64 v) {
  const auto above = v > 2;  // bytes of all ones where true
  std::uint64_t words[sizeof above / 8];
  std::memcpy(words, &above, sizeof words);
  std::uint64_t any = 0;
  for (std::uint64_t w : words) any |= w;
  return any != 0;
}

[[gnu::always_inline]] inline std::size_t digits_to_elements_kernel_body(const unsigned char* text, std::size_t n,
                                                                         std::uint8_t* out) {
  std::size_t i = 0;
  // Blocks of 64 digits, each checked whole before it is stored.
  for (; i + sizeof(Bytes64) <= n; i += sizeof(Bytes64)) {
    const Bytes64 elements = simd::load<Bytes64>(text + i) - '0';
    if (any_above_2(elements)) break;
    simd::store(out + i, elements);
  }
  for (; i < n; ++i) {
    const std::uint8_t element = static_cast<std::uint8_t>(text[i] - '0');
    if (element > 2) break;
    out[i] = element;
  }
  return i;
}

GF3MQ_KERNEL_AT_THREE_WIDTHS(std::size_t, digits_to_elements_kernel,
                             (const unsigned char* text, std::size_t n, std::uint8_t* out), (text, n, out))

}  // namespace

std::size_t digits_to_elements(const unsigned char* text, std::size_t n, std::uint8_t* out) {
  return digits_to_elements_kernel(text, n, out);
}

}  // namespace gf3mq
