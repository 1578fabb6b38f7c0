#include "learn/element_text.h"

namespace gf3mq {

std::string digit_list_text(const std::uint8_t* a, std::size_t n) {
  std::string text = "[";
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) text += ' ';
    text += static_cast<char>('0' + a[i]);
  }
  return text + ']';
}

std::string polynomial_text(const std::uint8_t* a, std::size_t n, const char* variable, PolynomialForm form) {
  std::string text;
  for (std::size_t i = n; i-- > 0;) {
    if (a[i] == 0) continue;
    if (!text.empty()) text += " + ";
    if (a[i] != 1 || i == 0) text += static_cast<char>('0' + a[i]);
    if (a[i] != 1 && i >= 1 && form == PolynomialForm::gp) text += '*';
    if (i >= 1) text += variable;
    if (i >= 2) text += '^' + std::to_string(i);
  }
  return text.empty() ? "0" : text;
}

}  // namespace gf3mq
