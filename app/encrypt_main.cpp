// gf3mq-encrypt: encrypts plaintexts, one per line, with the public key of a
// folder; "new pk.txt" is the only file it reads, except that --trace also
// reads the secret files when they are there.

#include <cerrno>
#include <iostream>
#include <memory>

#include "app/message_lines.h"
#include "app/program.h"
#include "files/folder.h"
#include "learn/trace.h"
#include "runtime/huge_pages.h"
#include "runtime/secure_wipe.h"
#include "scheme/encrypt.h"
#include "scheme/encrypt_batch.h"
#include "scheme/key_files.h"
#include "scheme/key_set.h"

namespace {

constexpr const char* kName = "gf3mq-encrypt";

constexpr const char* kUsage =
    "Usage: gf3mq-encrypt [-C DIR] [--trace] [FILE]\n"
    "\n"
    "Encrypts the plaintexts of FILE (or standard input), one per line, with\n"
    "\"new pk.txt\" of the current folder, and writes each ciphertext as n digits\n"
    "and a line break, in order; n is the public key's (257 as a rule). A\n"
    "plaintext is n digits, each 1 or 2; blanks within a line are ignored and\n"
    "empty lines skipped.\n"
    "\n"
    "  -C DIR     work in the folder DIR (a relative FILE is taken there)\n"
    "  --trace    write every step of each encryption, each value labelled, to\n"
    "             standard error: the public evaluation, and the secret steps\n"
    "             too when the folder holds the secret files\n"
    "  --help     show this text\n"
    "  --version  show the version\n"
    "\n"
    "Exit status: 0 when every plaintext was encrypted; 1 when a line is not a\n"
    "plaintext (the ciphertexts of every line before it are written, nothing\n"
    "after it), the public key is missing or damaged, or the output could not be\n"
    "written; 2 for a usage error.\n";

// The secret maps for a trace, when the folder holds them; otherwise null,
// after saying on standard error why only the public evaluation is traced.
std::unique_ptr<gf3mq::EncryptionMaps> secret_maps_for_trace(const gf3mq::Sizes& sizes) {
  namespace program = gf3mq::program;
  gf3mq::FileProblem problem;
  if (const int error = gf3mq::lookup_error(gf3mq::kMatAFile); error != 0) {
    problem = error == ENOENT ? gf3mq::FileProblem{"", "the secret files are not in this folder"}
                              : gf3mq::FileProblem{gf3mq::kMatAFile, "cannot be read: " + gf3mq::error_text(error)};
  } else {
    gf3mq::FolderLock lock(program::lock_wait(kName));
    auto maps = std::make_unique<gf3mq::EncryptionMaps>(sizes);
    if (gf3mq::lock_key_set_for_reading(lock, &problem) && maps->load(&problem)) return maps;
  }
  program::fail(kName, problem.message() + ": only the public evaluation is traced");
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  namespace program = gf3mq::program;
  bool trace = false;
  program::CommandLine command_line(kName, kUsage);
  command_line.flag("--trace", trace);
  if (!command_line.parse(argc, argv, 1)) return command_line.exit_status();

  // The public key first, for its n: the length of every line. Whoever may
  // write its folder could have swapped it.
  program::warn_if_folder_open(kName);
  gf3mq::Sizes sizes;
  gf3mq::HugePageBuffer pk;
  const bool read = program::read_public_key(kName, sizes, [&](const gf3mq::Sizes& at, gf3mq::FileProblem* problem) {
    pk = gf3mq::make_huge_page_buffer(at.public_key_digits());
    return gf3mq::read_key_file(at, gf3mq::kPublicKeyFile, pk.get(), at.public_key_digits(), problem,
                                gf3mq::kPublicKeyFile);
  });
  if (!read) return 1;
  const std::size_t n = sizes.elements();
  std::unique_ptr<gf3mq::EncryptionMaps> maps = trace ? secret_maps_for_trace(sizes) : nullptr;
  gf3mq::Trace tracer(std::cerr, sizes);
  gf3mq::FileProblem problem;
  gf3mq::MessageLineReader reader(command_line.input_file(), gf3mq::LineElements::plaintext, n);
  gf3mq::MessageLines plaintexts;
  if (!reader.next(program::lines_at_once(trace), plaintexts, &problem)) return program::fail(kName, problem.message());
  std::unique_ptr<gf3mq::PreparedPublicKey> prepared;  // once enough plaintexts come
  gf3mq::SecretVector<unsigned char> ciphertexts;
  const bool answered = program::answer_lines(kName, reader, plaintexts, trace, [&](auto& out) {
    const std::size_t count = plaintexts.count();
    ciphertexts.resize(count * n);
    if (prepared == nullptr && count >= gf3mq::kBatchWorthwhile)
      prepared = std::make_unique<gf3mq::PreparedPublicKey>(sizes, pk.get());
    if (prepared != nullptr) {
      prepared->encrypt(plaintexts.vector(0), count, ciphertexts.data());
    } else {
      for (std::size_t i = 0; i < count; ++i)
        gf3mq::encrypt_at(sizes, pk.get(), plaintexts.vector(i), ciphertexts.data() + i * n);
    }
    for (std::size_t i = 0; i < count; ++i) gf3mq::append_message_line(out, ciphertexts.data() + i * n, n);
    if (trace) gf3mq::trace_encryption(tracer, sizes, maps.get(), plaintexts.vector(0), ciphertexts.data());
    return std::string();
  });
  return answered && program::finish_output(kName) ? 0 : 1;
}
