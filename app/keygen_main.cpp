// gf3mq-keygen: makes a fresh key set in the working directory, replacing
// any previous one as a whole.
#include <cstdio>
#include <iostream>
#include <memory>

#include "app/program.h"
#include "linalg/secure_wipe.h"
#include "scheme/folder_lock.h"
#include "scheme/key_files.h"
#include "scheme/keygen.h"

namespace {

constexpr const char* kName = "gf3mq-keygen";

}  // namespace

int main() {
  namespace program = gf3mq::program;
  if (!program::standard_streams_ready(kName)) return 1;
  std::unique_ptr<unsigned char[]> pk(new unsigned char[gf3mq::kPublicKeyBytes]);
  gf3mq::advise_huge_pages(pk.get(), gf3mq::kPublicKeyBytes);
  // The secret key is wiped before its memory is released.
  gf3mq::WipedBlock sk(new unsigned char[gf3mq::kSecretKeyBytes], gf3mq::WipingDelete{gf3mq::kSecretKeyBytes});
  gf3mq::FileProblem problem;
  // One writer at a time, and no reader while the set is replaced.
  gf3mq::FolderLock lock;
  if (!lock.acquire(gf3mq::FolderLock::Mode::exclusive, &problem))
    return program::fail(kName, problem.message() + "; no key set was made");
  if (keygen(pk.get(), sk.get(), &problem) != 0) return program::fail(kName, problem.message());
  lock.release();
  pk.reset();
  sk.reset();
  std::cout << "hello world!";
  if (!program::finish_output(kName, "the new key set is in place")) return 1;
  std::getchar();
  return 0;
}
