#include "learn/element_text.h"

namespace gf3mq {

std::string digits_text(const std::uint8_t* a, std::size_t n, const char* separator) {
  std::string text;
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) text += separator;
    text += static_cast<char>('0' + a[i]);
  }
  return text;
}

std::string digit_list_text(const std::uint8_t* a, std::size_t n) { return '[' + digits_text(a, n, " ") + ']'; }

}  // namespace gf3mq
