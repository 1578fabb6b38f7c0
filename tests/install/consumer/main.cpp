// Uses the installed gf3mq: inverts a matrix over GF(3), encrypts with a zero
// public key, and encrypts again through the attack's view of the same key.
#include <iostream>
#include <vector>

#include "attack/public_forms.h"
#include "linalg/mat_zz_p.h"
#include "scheme/encrypt.h"

int main() {
  Mat_ZZ_p m(2, 2);
  m.set(0, 0, 1);
  m.set(0, 1, 1);
  m.set(1, 1, 1);
  std::vector<unsigned char> pk(17106948, 0), x(257, 2), c(257, 9);
  std::uint64_t clen = 0;
  const int status = encrypt(pk.data(), x.data(), 257, c.data(), &clen);
  const std::vector<std::uint8_t> again = gf3mq::PublicForms(pk.data(), 257).encrypt(x.data());
  std::cout << inverse(m) << ' ' << status << ' ' << clen << ' ' << int(c[0]) << ' ' << again.size() << ' '
            << int(again[0]) << '\n';
}
