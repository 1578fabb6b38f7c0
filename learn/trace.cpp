#include "learn/trace.h"

#include <algorithm>

#include "field/field.h"
#include "learn/element_text.h"
#include "scheme/encrypt.h"

namespace gf3mq {

namespace {

Vec_ZZ_p as_vector(const std::uint8_t* a, int n) {
  Vec_ZZ_p v(n);
  for (int i = 0; i < n; ++i) v.set(i, a[i]);
  return v;
}

Element as_element(const Vec_ZZ_p& v) { return Element(v.data(), v.data() + v.length()); }

// sum of a[i] 3^i written highest digit first, without leading zeros.
std::string base3_text(const std::vector<std::uint8_t>& a) {
  std::string text;
  for (std::size_t i = a.size(); i-- > 0;)
    if (!text.empty() || a[i] != 0) text += static_cast<char>('0' + a[i]);
  return text.empty() ? "0" : text;
}

// The first place where a holds a 0, or n when it is over {1, 2}.
std::size_t first_zero(const std::uint8_t* a, std::size_t n) {
  return static_cast<std::size_t>(std::find(a, a + n, 0) - a);
}

std::size_t first_difference(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
  return static_cast<std::size_t>(std::mismatch(a, a + n, b).first - a);
}

// Whether candidate k (1 or 2) encrypts back to c, said with the reason.
bool tell_whether_it_encrypts_back(Trace& trace, const Sizes& sizes, const unsigned char* pk, const unsigned char* c,
                                   const std::uint8_t* candidate, int k) {
  const std::size_t n = sizes.elements();
  const std::string name = "candidate " + std::to_string(k);
  if (const std::size_t zero = first_zero(candidate, n); zero < n) {
    trace.says(name + " has a 0 at place " + std::to_string(zero) + " (counting from 0)" +
               ": it does not encrypt back, since the public key leaves out the squares, and the corrections "
               "restore them only where every x_j^2 is 1, over {1, 2}");
    return false;
  }
  std::vector<unsigned char> again(n);
  encrypt_at(sizes, pk, candidate, again.data());
  if (const std::size_t at = first_difference(again.data(), c, n); at < n) {
    trace.vector(name + " encrypts to", again.data());
    trace.says(name + " is over {1, 2} but does not encrypt back: its ciphertext differs from c at place " +
               std::to_string(at) + " (counting from 0)");
    return false;
  }
  trace.says(name + " is over {1, 2} and encrypts back to c");
  return true;
}

}  // namespace

void Trace::heading(const std::string& what) { out_ << "== " << what << " ==\n"; }

void Trace::secret_warning() {
  if (warned_) return;
  warned_ = true;
  out_ << "SECRET: this trace shows values of the secret key (the corrections, and images of the secret maps "
          "from which a few traces give the maps themselves): keep it as private as the secret key files\n";
}

void Trace::says(const std::string& sentence) { out_ << sentence << '\n'; }

void Trace::vector(const std::string& label, const std::uint8_t* v) {
  out_ << label << " = " << digit_list_text(v, n_) << '\n';
}

void Trace::element(const std::string& label, const std::uint8_t* a) {
  out_ << label << " = " << digit_list_text(a, n_);
  if (n_ <= kPolynomialTextLimit) out_ << " = " << polynomial_text(a, n_, "x", PolynomialForm::gp);
  out_ << '\n';
}

std::vector<std::uint8_t> thirty_times_mod(const std::vector<std::uint8_t>& d, int n) {
  const std::size_t size = static_cast<std::size_t>(n);
  std::vector<std::uint8_t> value(size, 0);
  // 30 d = 3 d + 27 d, digit by digit. 3^n = 1 (mod 3^n - 1): place n is place 0
  // again, and a carry out of the top digit comes back at the lowest.
  const auto add_at = [&](std::size_t place, unsigned digit) {
    for (std::size_t i = place % size; digit != 0; i = (i + 1) % size) {
      digit += value[i];
      value[i] = static_cast<std::uint8_t>(digit % 3);
      digit /= 3;
    }
  };
  for (std::size_t i = 0; i < d.size(); ++i) {
    add_at(i + 1, d[i]);
    add_at(i + 3, d[i]);
  }
  if (std::all_of(value.begin(), value.end(), [](std::uint8_t digit) { return digit == 2; }))
    std::fill(value.begin(), value.end(), 0);  // 3^n - 1 itself
  return value;
}

void trace_encryption(Trace& trace, const Sizes& sizes, const EncryptionMaps* maps, const unsigned char* x,
                      const unsigned char* c) {
  const int n = sizes.n;
  trace.heading("encryption");
  trace.vector("plaintext x", x);
  Vec_ZZ_p expected(n);
  if (maps != nullptr) {
    trace.secret_warning();
    const Field field(maps->reduction);
    const Vec_ZZ_p X = maps->mat_B * as_vector(x, n) + maps->V2;
    trace.element("X = mat_B x + V2", X.data());
    const Element x3 = field.cube(as_element(X));
    trace.element("X^3", x3.data());
    const Element x27 = field.frobenius(x3, 2);
    trace.element("X^27 = (X^3)^9", x27.data());
    const Element x30 = field.product(x27, x3);
    trace.element("X^30 = X^27 * X^3", x30.data());
    expected = maps->mat_A * as_vector(x30.data(), n) + maps->V1;
    trace.vector("mat_A X^30 + V1", expected.data());
  }
  trace.vector("ciphertext c = the public forms at x (no squares, no constant)", c);
  if (maps == nullptr) return;
  trace.vector("corrections sk of \"new sk.txt\"", maps->sk.data());
  const Vec_ZZ_p restored = as_vector(c, n) + as_vector(maps->sk.data(), n);
  trace.vector("c + sk", restored.data());
  if (std::equal(restored.data(), restored.data() + n, expected.data())) {
    trace.says(
        "c + sk equals mat_A X^30 + V1: over {1, 2} every square x_j^2 is 1, so the corrections restore "
        "the squares and the constant that the public key leaves out");
  } else if (first_zero(x, sizes.elements()) < sizes.elements()) {
    trace.says(
        "c + sk differs from mat_A X^30 + V1: x has a 0, where x_j^2 is not 1, so the corrections do not "
        "restore the squares");
  } else {
    trace.says("c + sk differs from mat_A X^30 + V1: the files of the key set do not belong together");
  }
}

void trace_decryption(Trace& trace, const SecretMaps& maps, const unsigned char* sk, const unsigned char* pk,
                      const unsigned char* c) {
  const Sizes& sizes = maps.sizes;
  const int n = sizes.n;
  const std::string size = std::to_string(n);
  const Field field(maps.reduction);
  trace.heading("decryption");
  trace.secret_warning();
  trace.vector("ciphertext c", c);
  trace.vector("corrections sk of \"new sk.txt\"", sk);
  const Vec_ZZ_p restored = as_vector(c, n) + as_vector(sk, n);
  trace.vector("c + sk", restored.data());
  const Vec_ZZ_p y = maps.A_Inv * (restored - maps.V1);
  trace.element("Y = Inv_A (c + sk - V1)", y.data());

  const std::vector<std::uint8_t> d = field.root_exponent_digits();
  trace.says("d = " + base3_text(d) + " (base 3)");
  const std::vector<std::uint8_t> thirty_d = thirty_times_mod(d, n);
  std::vector<std::uint8_t> target(sizes.elements(), 1);
  target[0] = 2;  // 1 + (3^n - 1) / 2 = 11...12 (base 3)
  trace.says("30 d mod (3^" + size + " - 1) = " + base3_text(thirty_d) + " (base 3)" +
             (thirty_d == target ? " = 1 + (3^" + size + " - 1) / 2" : ", which is not 1 + (3^" + size + " - 1) / 2"));
  trace.says("so Y^d = X^(30 d) = X * X^((3^" + size + " - 1) / 2) = +X or -X, since X^((3^" + size +
             " - 1) / 2) is 1 or -1 for every X other than 0");
  const Vec_ZZ_p root = as_vector(field.central_map_root(as_element(y)).data(), n);
  const Vec_ZZ_p minus = 2 * root;
  trace.element("Y^d", root.data());
  trace.element("-Y^d", minus.data());
  const Vec_ZZ_p m1 = maps.B_Inv * (root - maps.V2);
  const Vec_ZZ_p m2 = maps.B_Inv * (minus - maps.V2);
  trace.vector("candidate 1 = Inv_B (Y^d - V2)", m1.data());
  trace.vector("candidate 2 = Inv_B (-Y^d - V2)", m2.data());
  const bool first = tell_whether_it_encrypts_back(trace, sizes, pk, c, m1.data(), 1);
  const bool second = tell_whether_it_encrypts_back(trace, sizes, pk, c, m2.data(), 2);
  if (first && second && std::equal(m1.data(), m1.data() + n, m2.data())) {
    trace.says(
        "the message is candidate 1, the same plaintext as candidate 2: Y = 0, so X = 0 = -X, and both are "
        "x0 = -Inv_B V2");
  } else if (first && second) {
    trace.says("both candidates encrypt back: the plaintext is ambiguous, it cannot be told from c alone");
  } else if (first || second) {
    trace.says(std::string("the message is candidate ") + (first ? "1" : "2"));
  } else {
    trace.says(
        "neither candidate encrypts back: c is not a ciphertext of this key set, or its files do not "
        "belong together");
  }
}

}  // namespace gf3mq
