// Uses the installed gf3mq: inverts a matrix over GF(3) and encrypts with a zero public key.
#include <iostream>
#include <vector>

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
  std::cout << inverse(m) << ' ' << status << ' ' << clen << ' ' << int(c[0]) << '\n';
}
