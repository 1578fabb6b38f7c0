// Products of polynomials of any length on bit-planes (packed_rows.h): a
// comb over windows of four coefficients of a. Window m holds a_(4m) ..
// a_(4m+3), the base-3 number u; entry u of a table of the 81 products
// u(x) b is added at x^(4m). With 4m = 64 j + k, round k adds the windows of
// every word j, shifted by whole words, and the sum so far is multiplied by
// x^4 between rounds: 16 rounds in all.
#include <algorithm>
#include <vector>

#include "field/poly_mul.h"
#include "linalg/combination_tables.h"
#include "linalg/packed_combination_tables.h"
#include "linalg/packed_rows.h"

namespace gf3mq {

namespace {

constexpr std::size_t kWordBits = 64;

std::size_t words_for(std::size_t elements) { return (elements + kWordBits - 1) / kWordBits; }

// p = p x^4 over `words` words of each plane.
void times_x4(std::uint64_t* ones, std::uint64_t* twos, std::size_t words) {
  for (std::size_t w = words; w-- > 1;) {
    ones[w] = (ones[w] << 4) | (ones[w - 1] >> 60);
    twos[w] = (twos[w] << 4) | (twos[w - 1] >> 60);
  }
  ones[0] <<= 4;
  twos[0] <<= 4;
}

// The planes of c_0 .. c_(length - 1) (0..2), shifted up by `shift` < 64.
void planes_of(const std::uint8_t* c, std::size_t length, std::size_t shift, std::uint64_t* ones, std::uint64_t* twos) {
  for (std::size_t i = 0; i < length; ++i) {
    const std::size_t at = i + shift;
    ones[at / kWordBits] |= std::uint64_t{c[i] == 1} << (at % kWordBits);
    twos[at / kWordBits] |= std::uint64_t{c[i] == 2} << (at % kWordBits);
  }
}

}  // namespace

void poly_mul_long(const std::uint8_t* a, const std::uint8_t* b, std::size_t length, std::uint8_t* product) {
  const std::size_t entry_words = words_for(length + 3);  // u(x) b: degree below length + 3
  const std::size_t a_words = words_for(length);
  const std::size_t sum_words = a_words + entry_words + 1;  // room for the shifts of the last rounds
  // x^p b for p = 0..3, the rows of the table: entry c0 + 3 c1 + 9 c2 + 27 c3.
  SecretVector<std::uint64_t> shifted(4 * 2 * entry_words, 0);
  for (std::size_t p = 0; p < 4; ++p)
    planes_of(b, length, p, &shifted[2 * p * entry_words], &shifted[(2 * p + 1) * entry_words]);
  CombinationTables<PackedRowEntry> table;
  table.assign(4, 4, 2 * entry_words, [&](std::size_t p) {
    return PackedRowEntry::Row{&shifted[2 * p * entry_words], &shifted[(2 * p + 1) * entry_words], entry_words};
  });
  SecretVector<std::uint64_t> sum(2 * sum_words, 0);
  std::uint64_t* ones = sum.data();
  std::uint64_t* twos = sum.data() + sum_words;
  auto at = [&](std::size_t i) -> unsigned { return i < length ? a[i] : 0u; };
  for (std::size_t k = 60;; k -= 4) {
    for (std::size_t j = 0; j < a_words; ++j) {
      const std::size_t i = kWordBits * j + k;
      const unsigned u = at(i) + 3 * at(i + 1) + 9 * at(i + 2) + 27 * at(i + 3);
      if (u == 0) continue;
      const std::uint64_t* entry = table.entry(0, u);
      packed_add(ones + j, twos + j, entry, entry + entry_words, entry_words);
    }
    if (k == 0) break;
    times_x4(ones, twos, sum_words);
  }
  const std::size_t bytes = long_product_bytes(length);
  const std::size_t have = std::min(bytes, kWordBits * sum_words);
  unpack_elements(ones, twos, have, product);
  std::fill(product + have, product + bytes, std::uint8_t{0});
}

}  // namespace gf3mq
