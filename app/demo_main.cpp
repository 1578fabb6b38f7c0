// gf3mq-demo: encrypts a random plaintext with the key set of the working
// directory, decrypts it, and prints plaintext, ciphertext and both candidates.
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <vector>

#include "app/program.h"
#include "learn/trace.h"
#include "runtime/console_text.h"
#include "runtime/huge_pages.h"
#include "runtime/secure_wipe.h"
#include "scheme/decrypt.h"
#include "scheme/encrypt.h"
#include "scheme/key_files.h"
#include "scheme/key_set.h"

namespace {

constexpr const char* kName = "gf3mq-demo";

constexpr const char* kUsage =
    "Usage: gf3mq-demo [-C DIR] [--no-wait] [--trace]\n"
    "\n"
    "Encrypts a random plaintext with the key set of the current folder,\n"
    "decrypts it, and prints the plaintext, the ciphertext, both candidates and\n"
    "their lengths; then waits for a key press.\n"
    "\n"
    "  -C DIR     work in the folder DIR\n"
    "  --no-wait  end without waiting for a key press\n"
    "  --trace    write every step of the encryption and the decryption, each\n"
    "             value labelled, to standard error (standard output stays the same)\n"
    "  --help     show this text\n"
    "  --version  show the version\n"
    "\n"
    "Exit status: 0 when done; 1 when the key set is missing, damaged or\n"
    "inconsistent, or the output could not be written; 2 for a usage error.\n";

// The captions "随机产生的一组明文为：", "加密产生的密文为：", "相应的两组解密明文为：",
// in GBK and in UTF-8 (console_text.h).
constexpr const char* kPlaintextCaption[] = {
    "\xCB\xE6\xBB\xFA\xB2\xFA\xC9\xFA\xB5\xC4\xD2\xBB\xD7\xE9\xC3\xF7\xCE\xC4\xCE\xAA\xA3\xBA",
    "随机产生的一组明文为："};
constexpr const char* kCiphertextCaption[] = {
    "\xBC\xD3\xC3\xDC\xB2\xFA\xC9\xFA\xB5\xC4\xC3\xDC\xCE\xC4\xCE\xAA\xA3\xBA", "加密产生的密文为："};
constexpr const char* kCandidatesCaption[] = {
    "\xCF\xE0\xD3\xA6\xB5\xC4\xC1\xBD\xD7\xE9\xBD\xE2\xC3\xDC\xC3\xF7\xCE\xC4\xCE\xAA\xA3\xBA",
    "相应的两组解密明文为："};

const char* caption(const char* const (&text)[2]) { return gf3mq::console_text(text[0], text[1]); }

// "[e0 e1 ... e256]", each element as a decimal integer, and an end of line.
void print_list(const unsigned char* values, std::size_t n) {
  std::cout << '[';
  for (std::size_t i = 0; i < n; ++i) std::cout << (i > 0 ? " " : "") << static_cast<int>(values[i]);
  std::cout << ']' << std::endl;
}

// Both computations told step by step on standard error, from the secret
// files of the folder (read under the caller's lock).
bool trace_both(const gf3mq::Sizes& sizes, const unsigned char* pk, const unsigned char* sk, const unsigned char* m,
                const unsigned char* c, gf3mq::FileProblem* problem) {
  gf3mq::EncryptionMaps forward(sizes);
  gf3mq::SecretMaps inverse(sizes);
  if (!forward.load(problem) || !inverse.load(problem)) return false;
  gf3mq::Trace trace(std::cerr, sizes);
  gf3mq::trace_encryption(trace, sizes, &forward, m, c);
  gf3mq::trace_decryption(trace, inverse, sk, pk, c);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  namespace program = gf3mq::program;
  bool no_wait = false, trace = false;
  program::CommandLine command_line(kName, kUsage);
  command_line.flag("--no-wait", no_wait);
  command_line.flag("--trace", trace);
  if (!command_line.parse(argc, argv, 0)) return command_line.exit_status();
  std::setlocale(LC_ALL, "");  // the captions follow the locale's character set
  program::warn_if_folder_open(kName);
  gf3mq::FileProblem problem;
  // The whole set is read under the shared lock: no key generation can
  // replace it half-way through. n is that of the folder's tables.
  gf3mq::FolderLock lock(program::lock_wait(kName));
  if (!gf3mq::lock_key_set_for_reading(lock, &problem)) return program::fail(kName, problem.message());
  gf3mq::Sizes sizes;
  if (!program::sizes_of_tables(kName, sizes)) return 1;
  gf3mq::HugePageBuffer pk = gf3mq::make_huge_page_buffer(sizes.public_key_digits());
  // The secret key is wiped before its memory is released.
  gf3mq::WipedBlock sk = gf3mq::make_wiped_block(sizes.elements());
  if (!gf3mq::read_key_pair(sizes, pk.get(), sk.get(), &problem)) return program::fail_with_key_set(kName, problem);

  const std::uint64_t mlen = sizes.elements();
  std::vector<unsigned char> m(mlen), c(mlen), decrypted(sizes.decrypted_bytes());
  // One reseed per element, from the clock in seconds: elements are 1 or 2.
  for (std::uint64_t i = 0; i < mlen; ++i) {
    std::srand(static_cast<unsigned>(static_cast<std::uint64_t>(std::time(nullptr)) + i + 20));
    m[i] = static_cast<unsigned char>(std::rand() % 2 + 1);
  }
  gf3mq::encrypt_at(sizes, pk.get(), m.data(), c.data());
  if (!gf3mq::decrypt_at(sizes, sk.get(), c.data(), decrypted.data(), &problem) ||
      (trace && !trace_both(sizes, pk.get(), sk.get(), m.data(), c.data(), &problem)))
    return program::fail_with_key_set(kName, problem);
  lock.release();

  std::cout << caption(kPlaintextCaption) << std::endl;
  print_list(m.data(), mlen);
  std::cout << caption(kCiphertextCaption) << std::endl;
  print_list(c.data(), mlen);
  std::cout << std::endl << caption(kCandidatesCaption) << std::endl;
  print_list(decrypted.data(), mlen);
  print_list(decrypted.data() + mlen, mlen);
  std::cout << decrypted.size() << ' ' << mlen << std::endl;
  const int index = gf3mq::message_index(sizes, pk.get(), c.data(), decrypted.data());
  if (index == gf3mq::kNoMessage) {
    program::finish_output(kName);
    return program::fail(kName,
                         "neither candidate encrypts back to the ciphertext: the key set is inconsistent (its files "
                         "come from different key generations, or are damaged); gf3mq-keygen makes a new one");
  }
  if (index == gf3mq::kAmbiguousMessage)
    program::fail(kName,
                  "warning: both candidates encrypt back to the ciphertext, so the plaintext cannot be told from "
                  "the ciphertext alone (gf3mq-check shows how likely that is with this key set)");

  pk.reset();
  sk.reset();  // wiped before the wait for a key press
  std::cout << "hello world!";
  if (!program::finish_output(kName)) return 1;
  if (!no_wait) std::getchar();
  return 0;
}
