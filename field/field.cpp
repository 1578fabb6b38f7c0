#include "field/field.h"

#include <algorithm>

namespace gf3mq {

Field::Field(const Mat_ZZ_p& reduction) : exact_(true) {
  const int n = reduction.num_cols();
  require_at_least(reduction, 2 * n - 2, n);
  if (const std::optional<SparseForm> g = sparse_form_of(reduction.row(0), n)) {
    reducer_ = std::make_unique<SparseReducer>(*g, n);  // the rows follow from row 0
  } else {
    rows_ = std::make_unique<Mat_ZZ_p>(reduction);
    reducer_ = std::make_unique<TabulatedReducer>(*rows_, n);
  }
}

Field::Field(std::unique_ptr<FieldReducer> reducer)
    : reducer_(std::move(reducer)), exact_(reducer_->follows_field_arithmetic()) {}

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
  for (int i = 0; i < times; ++i) cube(y.data(), y.data());  // in place, as every reducer allows
  return y;
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

void Field::power(const std::uint8_t* y, unsigned e, std::uint8_t* out) const {
  // Base-3 digits from the highest: r = r^3 y^digit.
  WipedScratch y2(n());
  if (e >= 2) product(y, y, y2.bytes);
  unsigned scale = 1;
  while (scale * 3 <= e) scale *= 3;
  std::copy_n(e / scale == 1 ? y : y2.bytes, n(), out);
  for (scale /= 3; scale > 0; scale /= 3) {
    cube(out, out);
    if (const unsigned digit = e / scale % 3; digit != 0) product(out, digit == 1 ? y : y2.bytes, out);
  }
}

void Field::central_map_root(const std::uint8_t* y, std::uint8_t* out) const {
  if (!exact_) return root_by_digits(y, out);
  const RootExponent d = root_exponent(n());
  WipedScratch z(n()), w(n()), shifted(n());
  power(y, d.multiple, z.bytes);
  // w = z^(S(m)) with S(m) the sum of 3^(4k), k < m: S(2m) = S(m) + 3^(4m) S(m),
  // S(m + 1) = 1 + 3^4 S(m); the bits of the number of terms, highest first.
  int top = 1;
  while (2 * top <= d.terms) top *= 2;
  std::copy_n(z.bytes, n(), w.bytes);
  auto times_frobenius = [&](const std::uint8_t* a, int cubes) {  // w = a w^(3^cubes)
    std::copy_n(w.bytes, n(), shifted.bytes);
    for (int i = 0; i < cubes; ++i) cube(shifted.bytes, shifted.bytes);
    product(a, shifted.bytes, w.bytes);
  };
  for (int bit = top / 2, m = 1; bit > 0; bit /= 2) {
    times_frobenius(w.bytes, 4 * m);
    m *= 2;
    if ((d.terms & bit) != 0) {
      times_frobenius(z.bytes, 4);
      m += 1;
    }
  }
  power(y, d.lead, out);
  product(out, w.bytes, out);
}

void Field::root_by_digits(const std::uint8_t* y, std::uint8_t* out) const {
  const std::vector<std::uint8_t> digits = root_exponent_digits();
  WipedScratch power(n());
  std::copy_n(y, n(), power.bytes);
  bool first = true;
  for (std::size_t t = 0; t < digits.size(); ++t) {
    if (t > 0) cube(power.bytes, power.bytes);
    for (std::uint8_t unit = 0; unit < digits[t]; ++unit, first = false) {
      if (first) {
        std::copy_n(power.bytes, n(), out);
      } else {
        product(out, power.bytes, out);
      }
    }
  }
}

Element Field::central_map_root(const Element& y) const {
  Element root = zero();
  central_map_root(y.data(), root.data());
  return root;
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
