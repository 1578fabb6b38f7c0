#include "scheme/encrypt.h"

#include <iostream>

#include "field/field_tables.h"
#include "linalg/gf3_rows.h"
#include "scheme/console_text.h"
#include "scheme/key_files.h"

using gf3mq::kDegree;
using gf3mq::kVariablesAndOne;

namespace {

// "产生的密文为：" in GBK and in UTF-8.
constexpr const char* kCiphertextCaptionGbk = "\xB2\xFA\xC9\xFA\xB5\xC4\xC3\xDC\xCE\xC4\xCE\xAA\xA3\xBA";
constexpr const char* kCiphertextCaptionUtf8 = "产生的密文为：";

// Value of one stored form of n variables at x (elements reduced mod 3),
// its rows `stride` bytes apart: the strict lower triangle row by row, each
// row a contiguous dot product, and the linear row. Form bytes of any value
// count mod 3: a row's dot product is at most n * 255 * 2, the whole sum at
// most (n - 1) * 2 * 2 + n * 255 * 2.
unsigned evaluate_form(const std::uint8_t* form, std::size_t stride, const std::uint8_t* x, int n) {
  constexpr std::uint64_t kLargest = gf3mq::kLargestDegree;
  static_assert((kLargest - 1) * 2 * 2 + kLargest * 255 * 2 < (std::uint64_t{1} << 32), "a form's sum must fit 32 bits");
  std::uint32_t sum = 0;
  for (int k = 1; k < n; ++k) {
    if (x[k] == 0) continue;
    const std::uint8_t* row = form + static_cast<std::size_t>(k) * stride;
    sum += x[k] * (gf3mq::dot_row(row, x, static_cast<std::size_t>(k)) % 3u);
  }
  sum += gf3mq::dot_row(form + static_cast<std::size_t>(n) * stride, x, static_cast<std::size_t>(n));
  return sum % 3u;
}

}  // namespace

void gf3mq::encrypt_at(const Sizes& sizes, const unsigned char* pk, const unsigned char* m, unsigned char* c) {
  const int n = sizes.n;
  std::uint8_t x[kLargestDegree];
  for (int j = 0; j < n; ++j) x[j] = mod3(m[j]);
  for (int i = 0; i < n; ++i)
    c[i] = static_cast<unsigned char>(evaluate_form(pk + static_cast<std::size_t>(i) * sizes.form_digits(),
                                                    static_cast<std::size_t>(sizes.variables_and_one()), x, n));
  secure_wipe(x, sizeof x);
}

int encrypt(const unsigned char* pk, const unsigned char* m, std::uint64_t mlen, unsigned char* c,
            std::uint64_t* clen) {
  if (pk == nullptr || m == nullptr || c == nullptr || clen == nullptr || mlen != gf3mq::kMessageBytes) return -1;
  gf3mq::encrypt_at(gf3mq::kDefaultSizes, pk, m, c);
  *clen = mlen;
  return 0;
}

Vec_ZZ_p encrypt_vec(const Vec_ZZ_p& x, const FormList& polys) {
  Vec_ZZ_p chiper(kDegree);
  std::cout << gf3mq::console_text(kCiphertextCaptionGbk, kCiphertextCaptionUtf8) << std::endl;
  std::uint8_t reduced[kDegree];
  for (int j = 0; j < kDegree; ++j) reduced[j] = gf3mq::mod3(x[j]);
  // Each form is read at (k, j), j < k <= 257: 258 rows of at least 257,
  // each read with its own length.
  for (int i = 0; i < kDegree; ++i) gf3mq::require_at_least(polys.at(static_cast<std::size_t>(i)), kVariablesAndOne, kDegree);
  for (int i = 0; i < kDegree; ++i) {
    const Mat_ZZ_p& form = polys[static_cast<std::size_t>(i)];
    const unsigned s = evaluate_form(form.data(), static_cast<std::size_t>(form.num_cols()), reduced, kDegree);
    std::cout << s << ' ';
    chiper.set(i, static_cast<unsigned char>(s));
  }
  return chiper;
}
