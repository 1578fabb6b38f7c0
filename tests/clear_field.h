// GF(3^n) by its definition, for tests that recompute traced values apart
// from the library's field: schoolbook products, then x^k for k >= n
// replaced by x^(k - n) g, g = x^n mod f (row 0 of the reduction table).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "field/field_tables.h"

namespace gf3mq::test {

struct ClearField {
  std::vector<std::uint8_t> g;
  std::size_t n;
  std::vector<std::uint8_t> product(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) const {
    std::vector<int> full(2 * n - 1, 0);
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = 0; j < n; ++j) full[i + j] += a[i] * b[j];
    for (std::size_t k = 2 * n - 2; k >= n; --k)
      for (std::size_t i = 0; i < n; ++i) full[k - n + i] += (full[k] % 3) * g[i];
    std::vector<std::uint8_t> out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(full[i] % 3);
    return out;
  }
  std::vector<std::uint8_t> power(const std::vector<std::uint8_t>& y, const std::string& base3_exponent) const {
    std::vector<std::uint8_t> result(n, 0);  // exponent highest digit first
    result[0] = 1;
    for (char digit : base3_exponent) {
      result = product(product(result, result), result);
      for (char k = '0'; k < digit; ++k) result = product(result, y);
    }
    return result;
  }
};

// The field of the reduction table in the current folder.
inline ClearField clear_field_here(int n) {
  Mat_ZZ_p table = make_reduction_table(n);
  EXPECT_TRUE(load_reduction_table(n, table, nullptr));
  std::vector<std::uint8_t> g(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) g[static_cast<std::size_t>(i)] = table.get(0, i);
  return ClearField{g, static_cast<std::size_t>(n)};
}

}  // namespace gf3mq::test
