// gf3mq-keygen: makes a fresh key set in the working directory, replacing
// any previous one as a whole.
#include <cstdio>
#include <iostream>
#include <memory>

#include "linalg/secure_wipe.h"
#include "scheme/key_files.h"
#include "scheme/keygen.h"

int main() {
  std::unique_ptr<unsigned char[]> pk(new unsigned char[gf3mq::kPublicKeyBytes]);
  gf3mq::advise_huge_pages(pk.get(), gf3mq::kPublicKeyBytes);
  // The secret key is wiped before its memory is released.
  gf3mq::WipedBlock sk(new unsigned char[gf3mq::kSecretKeyBytes], gf3mq::WipingDelete{gf3mq::kSecretKeyBytes});
  gf3mq::FileProblem problem;
  if (keygen(pk.get(), sk.get(), &problem) != 0) {
    std::cerr << "gf3mq-keygen: no key set was made: " << problem.message() << std::endl;
    return 1;
  }
  pk.reset();
  sk.reset();
  std::cout << "hello world!";
  std::cout.flush();
  std::getchar();
  return 0;
}
