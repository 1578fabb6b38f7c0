// gf3mq-demo: encrypts a random plaintext with the key set of the working
// directory, decrypts it, and prints plaintext, ciphertext and both candidates.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <memory>

#include "linalg/secure_wipe.h"
#include "scheme/decrypt.h"
#include "scheme/encrypt.h"
#include "scheme/key_files.h"

namespace {

// Captions in GBK: "随机产生的一组明文为：", "加密产生的密文为：", "相应的两组解密明文为：".
constexpr const char* kPlaintextCaption =
    "\xCB\xE6\xBB\xFA\xB2\xFA\xC9\xFA\xB5\xC4\xD2\xBB\xD7\xE9\xC3\xF7\xCE\xC4\xCE\xAA\xA3\xBA";
constexpr const char* kCiphertextCaption = "\xBC\xD3\xC3\xDC\xB2\xFA\xC9\xFA\xB5\xC4\xC3\xDC\xCE\xC4\xCE\xAA\xA3\xBA";
constexpr const char* kCandidatesCaption =
    "\xCF\xE0\xD3\xA6\xB5\xC4\xC1\xBD\xD7\xE9\xBD\xE2\xC3\xDC\xC3\xF7\xCE\xC4\xCE\xAA\xA3\xBA";

// "[e0 e1 ... e256]", each element as a decimal integer.
void print_list(const unsigned char* values, std::size_t n) {
  std::cout << '[';
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) std::cout << ' ';
    std::cout << static_cast<int>(values[i]);
  }
  std::cout << ']';
}

int key_failure(const gf3mq::FileProblem& problem) {
  std::cerr << "gf3mq-demo: " << problem.message() << "; gf3mq-keygen makes a key set" << std::endl;
  return 1;
}

}  // namespace

int main() {
  using gf3mq::kMessageBytes;
  std::unique_ptr<unsigned char[]> pk(new unsigned char[gf3mq::kPublicKeyBytes]);
  gf3mq::advise_huge_pages(pk.get(), gf3mq::kPublicKeyBytes);
  // The secret key is wiped before its memory is released.
  gf3mq::WipedBlock sk(new unsigned char[gf3mq::kSecretKeyBytes], gf3mq::WipingDelete{gf3mq::kSecretKeyBytes});
  gf3mq::FileProblem problem;
  if (read_pk(gf3mq::kPublicKeyFile, pk.get(), &problem) != 1) return key_failure(problem);
  if (read_sk(gf3mq::kSecretKeyFile, sk.get(), &problem) != 1) return key_failure(problem);

  const std::uint64_t mlen = kMessageBytes;
  std::unique_ptr<unsigned char[]> c(new unsigned char[mlen]);
  std::unique_ptr<unsigned char[]> m(new unsigned char[mlen]);
  // One reseed per element, from the clock in seconds: elements are 1 or 2.
  for (std::uint64_t i = 0; i < mlen; ++i) {
    std::srand(static_cast<unsigned>(static_cast<std::uint64_t>(std::time(nullptr)) + i + 20));
    m[i] = static_cast<unsigned char>(std::rand() % 2 + 1);
  }
  std::cout << kPlaintextCaption << std::endl;
  print_list(m.get(), mlen);
  std::cout << std::endl;

  std::uint64_t clen = 0;
  encrypt(pk.get(), m.get(), mlen, c.get(), &clen);
  std::cout << kCiphertextCaption << std::endl;
  print_list(c.get(), clen);
  std::cout << std::endl;
  std::cout << std::endl;

  std::unique_ptr<unsigned char[]> decrypted(new unsigned char[gf3mq::kDecryptedBytes]);
  std::uint64_t decrypt_mlen = 0;
  if (decrypt(sk.get(), c.get(), clen, decrypted.get(), &decrypt_mlen, &problem) != 0) {
    std::cerr << "gf3mq-demo: cannot decrypt: " << problem.message() << "; gf3mq-keygen makes a key set" << std::endl;
    return 1;
  }
  std::cout << kCandidatesCaption << std::endl;
  print_list(decrypted.get(), kMessageBytes);
  std::cout << std::endl;
  print_list(decrypted.get() + kMessageBytes, kMessageBytes);
  std::cout << std::endl;
  std::cout << decrypt_mlen << ' ' << clen << std::endl;

  pk.reset();
  sk.reset();
  m.reset();
  c.reset();
  decrypted.reset();
  std::cout << "hello world!";
  std::cout.flush();
  std::getchar();
  return 0;
}
