#include "field/field.h"

#include <algorithm>

#include "field/poly_mul.h"
#include "field/sizes.h"
#include "linalg/gf3_rows.h"

namespace gf3mq {

namespace {

// Room for a cube before reduction (x^0 .. x^(3n - 3)) at the largest n,
// and for the reads of a sparse reduction, in whole 64-byte vectors.
constexpr std::size_t kBufferBytes = kSparseBufferBytes;
static_assert(kBufferBytes >= long_product_bytes(kLargestDegree) + 64 && kBufferBytes >= kPolyProductBytes);

// A buffer on the stack that is wiped when it goes: it holds secret elements.
struct Scratch {
  alignas(64) std::uint8_t bytes[kBufferBytes];
  ~Scratch() { secure_wipe(bytes, sizeof bytes); }
};

}  // namespace

Field::Field(const Mat_ZZ_p& reduction) : n_(reduction.num_cols()) {
  require_at_least(reduction, 2 * n_ - 2, n_);
  if (n_ == kDefaultDegree) {  // the tuned kernels of 257; the rows follow from row 0
    if (const std::optional<SparseForm> g = sparse_form_of_row_zero(reduction)) {
      standard_ = std::make_unique<SparseReducer>(*g);
    } else {
      rows_ = std::make_unique<Mat_ZZ_p>(reduction);
      standard_ = std::make_unique<TabulatedReducer>(*rows_);
    }
    return;
  }
  sparse_ = sparse_form_of(reduction.row(0), n_);
  if (sparse_) return;
  const std::size_t stride = static_cast<std::size_t>(reduction.num_cols()), width = static_cast<std::size_t>(n_);
  product_rows_.assign(reduction.data(), width - 1, stride, width);
  first_cubed_high_ = (n_ + 2) / 3;
  cube_rows_.assign(reduction.data() + static_cast<std::size_t>(3 * first_cubed_high_ - n_) * stride,
                    static_cast<std::size_t>(n_ - first_cubed_high_), 3 * stride, width);
}

Element Field::one() const {
  Element e = zero();
  e[0] = 1;
  return e;
}

void Field::product(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out) const {
  if (standard_ != nullptr) {
    FieldElem x, y, z;
    std::copy_n(a, kDefaultDegree, x.coef);
    std::copy_n(b, kDefaultDegree, y.coef);
    standard_->product(x, y, z);
    std::copy_n(z.coef, kDefaultDegree, out);
    return;
  }
  Scratch p;
  const std::size_t length = static_cast<std::size_t>(n_);
  if (length <= kPolyMaxLength) {
    poly_mul(a, b, length, p.bytes);  // zeros up to kPolyProductBytes, past the reads of reduce_sparse
  } else {
    poly_mul_long(a, b, length, p.bytes);
    std::fill_n(p.bytes + long_product_bytes(length), 64, std::uint8_t{0});
  }
  if (sparse_) return reduce_sparse(p.bytes, n_, 2 * n_ - 2, *sparse_, out);
  Scratch low;
  std::copy_n(p.bytes, n_, low.bytes);
  std::fill(low.bytes + n_, low.bytes + product_rows_.padded_width(), std::uint8_t{0});
  product_rows_.combine(low.bytes, p.bytes + n_, low.bytes);
  std::copy_n(low.bytes, n_, out);
}

void Field::cube(const std::uint8_t* y, std::uint8_t* out) const {
  if (standard_ != nullptr) {
    FieldElem x, z;
    std::copy_n(y, kDefaultDegree, x.coef);
    standard_->cube(x, z);
    std::copy_n(z.coef, kDefaultDegree, out);
    return;
  }
  // x^k -> x^(3k): the Frobenius map is additive in characteristic 3.
  Scratch p;
  if (sparse_) {
    spread_to_cube(y, n_, p.bytes);
    return reduce_sparse(p.bytes, n_, 3 * (n_ - 1), *sparse_, out);
  }
  const int top = n_ - 1;
  std::fill_n(p.bytes, std::max<std::size_t>(static_cast<std::size_t>(top) + 1, cube_rows_.padded_width()),
              std::uint8_t{0});
  for (int k = 0; 3 * k <= top; ++k) p.bytes[3 * k] = y[k];
  cube_rows_.combine(p.bytes, y + first_cubed_high_, p.bytes);
  std::copy_n(p.bytes, n_, out);
}

Element Field::product(const Element& a, const Element& b) const {
  Element out = zero();
  product(a.data(), b.data(), out.data());
  return out;
}

Element Field::cube(const Element& y) const {
  Element out = zero();
  cube(y.data(), out.data());
  return out;
}

Element Field::frobenius(Element y, int times) const {
  Element next = zero();
  for (int i = 0; i < times; ++i) {
    cube(y.data(), next.data());
    std::swap(y, next);
  }
  return y;
}

Element Field::power(const Element& y, unsigned e) const {
  // Base-3 digits from the highest: r = r^3 y^digit.
  unsigned top = 1;
  while (top * 3 <= e) top *= 3;
  const Element y2 = product(y, y);
  Element r = one();
  for (unsigned scale = top; scale > 0; scale /= 3) {
    r = cube(r);
    const unsigned digit = e / scale % 3;
    if (digit != 0) r = product(r, digit == 1 ? y : y2);
  }
  return r;
}

namespace {

// d = lead + multiple T, T the sum of 3^(4k) for k < terms.
struct RootExponent {
  unsigned lead, multiple;
  int terms;
};

RootExponent root_exponent(int n) {
  if (n % 4 == 1) return {1, 116, (n - 1) / 4};
  return {10, 828, (n - 3) / 4};
}

}  // namespace

Element Field::central_map_root(const Element& y) const {
  const RootExponent d = root_exponent(n_);
  const Element z = power(y, d.multiple);
  // w = z^(S(m)) with S(m) the sum of 3^(4k), k < m: S(2m) = S(m) + 3^(4m) S(m),
  // S(m + 1) = 1 + 3^4 S(m); the bits of the number of terms, highest first.
  Element w = one();
  if (d.terms > 0) {
    int top = 1;
    while (2 * top <= d.terms) top *= 2;
    w = z;
    int m = 1;
    for (int bit = top / 2; bit > 0; bit /= 2) {
      w = product(w, frobenius(w, 4 * m));
      m *= 2;
      if ((d.terms & bit) != 0) {
        w = product(z, frobenius(w, 4));
        m += 1;
      }
    }
  }
  return product(power(y, d.lead), w);
}

std::vector<std::uint8_t> Field::root_exponent_digits() const {
  const RootExponent d = root_exponent(n_);
  // Digits of lead + multiple * sum of 3^(4k): each term added with its carries.
  std::vector<unsigned> digits(static_cast<std::size_t>(n_) + 8, 0);
  auto add_at = [&](std::size_t position, unsigned value) {
    for (std::size_t i = position; value != 0; ++i) {
      value += digits[i];
      digits[i] = value % 3;
      value /= 3;
    }
  };
  add_at(0, d.lead);
  for (int k = 0; k < d.terms; ++k) add_at(4 * static_cast<std::size_t>(k), d.multiple);
  while (digits.size() > 1 && digits.back() == 0) digits.pop_back();
  return std::vector<std::uint8_t>(digits.begin(), digits.end());
}

}  // namespace gf3mq
