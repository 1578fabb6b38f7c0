// gf3mq-encrypt: encrypts plaintexts, one per line, with the public key of a
// folder; "new pk.txt" is the only file it reads.
#include <iostream>
#include <memory>

#include "app/program.h"
#include "linalg/secure_wipe.h"
#include "scheme/encrypt.h"
#include "scheme/encrypt_batch.h"
#include "scheme/key_files.h"
#include "scheme/message_lines.h"

namespace {

constexpr const char* kName = "gf3mq-encrypt";

constexpr const char* kUsage =
    "Usage: gf3mq-encrypt [-C DIR] [FILE]\n"
    "\n"
    "Encrypts the plaintexts of FILE (or standard input), one per line, with\n"
    "\"new pk.txt\" of the current folder, and writes each ciphertext as 257\n"
    "digits and a line break, in order. A plaintext is 257 digits, each 1 or 2;\n"
    "blanks within a line are ignored and empty lines skipped.\n"
    "\n"
    "  -C DIR     work in the folder DIR (a relative FILE is taken there)\n"
    "  --help     show this text\n"
    "  --version  show the version\n"
    "\n"
    "Exit status: 0 when every plaintext was encrypted; 1 when a line is not a\n"
    "plaintext (nothing is written then), the public key is missing or damaged,\n"
    "or the output could not be written; 2 for a usage error.\n";

}  // namespace

int main(int argc, char** argv) {
  namespace program = gf3mq::program;
  if (!program::standard_streams_ready(kName)) return 1;
  program::CommandLine command_line(kName, kUsage);
  if (!command_line.parse(argc, argv, 1)) return command_line.exit_status();
  const std::string input = command_line.input_file();

  gf3mq::FileProblem problem;
  gf3mq::MessageLines plaintexts;
  if (!gf3mq::read_message_lines(input, gf3mq::LineElements::plaintext, plaintexts, &problem))
    return program::fail(kName, problem.message());
  gf3mq::HugePageBuffer pk = gf3mq::make_huge_page_buffer(gf3mq::kPublicKeyBytes);
  if (!program::read_public_key(kName, pk.get())) return 1;
  const std::size_t count = plaintexts.count();
  gf3mq::SecretVector<unsigned char> ciphertexts(count * gf3mq::kMessageBytes);
  if (count >= gf3mq::kBatchWorthwhile) {
    gf3mq::PreparedPublicKey(pk.get()).encrypt(plaintexts.vector(0), count, ciphertexts.data());
  } else {
    for (std::size_t i = 0; i < count; ++i) {
      std::uint64_t clen = 0;
      encrypt(pk.get(), plaintexts.vector(i), gf3mq::kMessageBytes, ciphertexts.data() + i * gf3mq::kMessageBytes,
              &clen);
    }
  }
  gf3mq::SecretVector<char> out;
  for (std::size_t i = 0; i < count; ++i) gf3mq::append_message_line(out, ciphertexts.data() + i * gf3mq::kMessageBytes);
  std::cout.write(out.data(), static_cast<std::streamsize>(out.size()));
  return program::finish_output(kName) ? 0 : 1;
}
