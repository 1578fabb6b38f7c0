// Products of polynomials of any length: Karatsuba's split down to factors
// that poly_mul takes. With a = a0 + x^h a1 and b = b0 + x^h b1, h =
// ceil(L / 2),
//
//   a b = p0 + x^h (p1 - p0 - p2) + x^(2h) p2,
//   p0 = a0 b0, p2 = a1 b1, p1 = (a0 + a1)(b0 + b1):
//
// three products of half the length for the four of the schoolbook. 509
// takes three products of 255, 1021 nine of 256.
#include <algorithm>

#include "field/poly_mul.h"
#include "field/sizes.h"
#include "runtime/secure_wipe.h"
#include "runtime/simd_bytes.h"

namespace gf3mq {

namespace {

// Room for a product of factors of kLargestDegree and for poly_mul's output.
constexpr std::size_t kLongBytes = long_product_bytes(kLargestDegree);
static_assert(kLongBytes >= kPolyProductBytes);

// Buffers of one level of the split, wiped when they go: they hold
// products of secret elements.
struct SplitBuffers {
  alignas(64) std::uint8_t sum_a[kLargestDegree], sum_b[kLargestDegree];
  alignas(64) std::uint8_t p0[kLongBytes], p1[kLongBytes], p2[kLongBytes];
  std::size_t half, used;  // elements of each sum, bytes of each product written
  explicit SplitBuffers(std::size_t h) : half(h), used(std::max(kPolyProductBytes, long_product_bytes(h))) {}
  ~SplitBuffers() {
    secure_wipe(sum_a, half);
    secure_wipe(sum_b, half);
    secure_wipe(p0, used);
    secure_wipe(p1, used);
    secure_wipe(p2, used);
  }
};

// product[0 .. 2 length - 1) = a b, for length <= kLargestDegree; zeros
// above, up to long_product_bytes(length), or kPolyProductBytes where
// poly_mul takes the factors whole.
void multiply(const std::uint8_t* a, const std::uint8_t* b, std::size_t length, std::uint8_t* product) {
  if (length <= kPolyMaxLength) return poly_mul(a, b, length, product);
  const std::size_t h = (length + 1) / 2, l = length - h;  // l <= h
  SplitBuffers s(h);
  // a0 + a1 and b0 + b1, reduced mod 3 (a1, b1 are l long: the last
  // coefficient of a0 and b0 may stand alone).
  for (std::size_t i = 0; i < h; ++i) {
    s.sum_a[i] = simd::fold_below_6(static_cast<std::uint8_t>(a[i] + (i < l ? a[h + i] : 0)));
    s.sum_b[i] = simd::fold_below_6(static_cast<std::uint8_t>(b[i] + (i < l ? b[h + i] : 0)));
  }
  multiply(a, b, h, s.p0);
  multiply(a + h, b + h, l, s.p2);
  multiply(s.sum_a, s.sum_b, h, s.p1);
  // p0 below x^(2h - 1), p2 from x^(2h): they do not meet.
  const std::size_t low = 2 * h - 1, high = 2 * l - 1;
  std::copy_n(s.p0, low, product);
  product[low] = 0;
  std::copy_n(s.p2, high, product + 2 * h);
  std::fill(product + 2 * h + high, product + long_product_bytes(length), std::uint8_t{0});
  // x^h (p1 - p0 - p2) = x^h (p1 + 2 p0 + 2 p2): at most 2 + 2 + 4 + 4 = 12 a byte.
  for (std::size_t i = 0; i < low; ++i) {
    const unsigned p2 = i < high ? s.p2[i] : 0u;
    product[h + i] = static_cast<std::uint8_t>((product[h + i] + s.p1[i] + 2u * s.p0[i] + 2u * p2) % 3u);
  }
}

}  // namespace

void poly_mul_long(const std::uint8_t* a, const std::uint8_t* b, std::size_t length, std::uint8_t* product) {
  if (length > kPolyMaxLength) return multiply(a, b, length, product);
  alignas(64) std::uint8_t whole[kPolyProductBytes];
  poly_mul(a, b, length, whole);
  std::copy_n(whole, long_product_bytes(length), product);
  secure_wipe(whole, sizeof whole);
}

}  // namespace gf3mq
