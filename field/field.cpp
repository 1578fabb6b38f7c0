#include "field/field.h"

#include <algorithm>

namespace gf3mq {

Field::Field(const Mat_ZZ_p& reduction) {
  const int n = reduction.num_cols();
  require_at_least(reduction, 2 * n - 2, n);
  if (const std::optional<SparseForm> g = sparse_form_of(reduction.row(0), n)) {
    reducer_ = std::make_unique<SparseReducer>(*g, n);  // the rows follow from row 0
  } else {
    rows_ = std::make_unique<Mat_ZZ_p>(reduction);
    reducer_ = std::make_unique<TabulatedReducer>(*rows_, n);
  }
}

Element Field::one() const {
  Element e = zero();
  e[0] = 1;
  return e;
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
  const RootExponent d = root_exponent(n());
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
  const RootExponent d = root_exponent(n());
  // Digits of lead + multiple * sum of 3^(4k): each term added with its carries.
  std::vector<unsigned> digits(static_cast<std::size_t>(n()) + 8, 0);
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
