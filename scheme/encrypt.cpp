#include "scheme/encrypt.h"

#include <iostream>

#include "field/field_tables.h"
#include "linalg/gf3_rows.h"
#include "linalg/quadratic_form.h"
#include "runtime/console_text.h"
#include "scheme/key_files.h"

using gf3mq::kDefaultSizes;

namespace {

// "产生的密文为：" in GBK and in UTF-8.
constexpr const char* kCiphertextCaptionGbk = "\xB2\xFA\xC9\xFA\xB5\xC4\xC3\xDC\xCE\xC4\xCE\xAA\xA3\xBA";
constexpr const char* kCiphertextCaptionUtf8 = "产生的密文为：";

static_assert(gf3mq::kLargestDegree <= gf3mq::kFormMaxVariables, "form_value must take every size");

// A plaintext reduced mod 3, with the room form_value reads past it; wiped
// when it goes.
struct ReducedPlaintext {
  alignas(64) std::uint8_t x[gf3mq::form_column_bytes(gf3mq::kLargestDegree)] = {};
  ReducedPlaintext(const unsigned char* m, int n) {
    for (int j = 0; j < n; ++j) x[j] = gf3mq::mod3(m[j]);
  }
  ~ReducedPlaintext() { gf3mq::secure_wipe(x, sizeof x); }
};

}  // namespace

void gf3mq::encrypt_at(const Sizes& sizes, const unsigned char* pk, const unsigned char* m, unsigned char* c) {
  const std::size_t n = sizes.elements();
  const ReducedPlaintext x(m, sizes.n);
  for (std::size_t i = 0; i < n; ++i)
    c[i] = static_cast<unsigned char>(
        form_value(pk + i * sizes.form_digits(), static_cast<std::size_t>(sizes.variables_and_one()), x.x, n));
}

int encrypt(const unsigned char* pk, const unsigned char* m, std::uint64_t mlen, unsigned char* c,
            std::uint64_t* clen) {
  if (pk == nullptr || m == nullptr || c == nullptr || clen == nullptr || mlen != gf3mq::kDefaultSizes.elements())
    return -1;
  gf3mq::encrypt_at(gf3mq::kDefaultSizes, pk, m, c);
  *clen = mlen;
  return 0;
}

Vec_ZZ_p encrypt_vec(const Vec_ZZ_p& x, const gf3mq::FormList& polys) {
  Vec_ZZ_p chiper(kDefaultSizes.n);
  std::cout << gf3mq::console_text(kCiphertextCaptionGbk, kCiphertextCaptionUtf8) << std::endl;
  gf3mq::require_length(x, kDefaultSizes.n);
  const ReducedPlaintext reduced(x.data(), kDefaultSizes.n);
  // Each form is read at (k, j), j < k <= 257: 258 rows of at least 257,
  // each read with its own length.
  for (int i = 0; i < kDefaultSizes.n; ++i)
    gf3mq::require_at_least(polys.at(static_cast<std::size_t>(i)), kDefaultSizes.variables_and_one(), kDefaultSizes.n);
  for (int i = 0; i < kDefaultSizes.n; ++i) {
    const Mat_ZZ_p& form = polys[static_cast<std::size_t>(i)];
    const unsigned s =
        gf3mq::form_value(form.data(), static_cast<std::size_t>(form.num_cols()), reduced.x, kDefaultSizes.n);
    std::cout << s << ' ';
    chiper.set(i, static_cast<unsigned char>(s));
  }
  return chiper;
}
