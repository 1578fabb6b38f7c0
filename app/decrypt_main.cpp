// gf3mq-decrypt: decrypts ciphertexts, one per line, with the key set of a
// folder, and writes each message: the candidate that encrypts back.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/program.h"
#include "linalg/secure_wipe.h"
#include "scheme/decrypt.h"
#include "scheme/key_files.h"
#include "scheme/key_set.h"
#include "scheme/message_lines.h"

namespace {

constexpr const char* kName = "gf3mq-decrypt";

constexpr const char* kUsage =
    "Usage: gf3mq-decrypt [-C DIR] [--both] [FILE]\n"
    "\n"
    "Decrypts the ciphertexts of FILE (or standard input), one per line of 257\n"
    "digits 0, 1 or 2, with the key set of the current folder, and writes each\n"
    "message as 257 digits and a line break, in order. The message is the\n"
    "candidate that encrypts back to the ciphertext.\n"
    "\n"
    "  -C DIR     work in the folder DIR (a relative FILE is taken there)\n"
    "  --both     write both candidates, one per line, the message first\n"
    "  --help     show this text\n"
    "  --version  show the version\n"
    "\n"
    "Exit status: 0 when every ciphertext was decrypted; 1 when a line is not a\n"
    "ciphertext of this key set (or the set is inconsistent), a key file is\n"
    "missing or damaged, or the output could not be written (nothing is\n"
    "written then); 2 for a usage error.\n";

}  // namespace

int main(int argc, char** argv) {
  namespace program = gf3mq::program;
  if (!program::standard_streams_ready(kName)) return 1;
  bool both = false;
  program::CommandLine command_line(kName, kUsage);
  command_line.flag("--both", both);
  if (!command_line.parse(argc, argv, 1)) return command_line.exit_status();
  const std::string input = command_line.input_file();

  gf3mq::FileProblem problem;
  gf3mq::MessageLines ciphertexts;
  if (!gf3mq::read_message_lines(input, gf3mq::LineElements::ciphertext, ciphertexts, &problem))
    return program::fail(kName, problem.message());
  gf3mq::HugePageBuffer pk = gf3mq::make_huge_page_buffer(gf3mq::kPublicKeyBytes);
  gf3mq::WipedBlock sk(new unsigned char[gf3mq::kSecretKeyBytes], gf3mq::WipingDelete{gf3mq::kSecretKeyBytes});
  gf3mq::SecretMaps maps;
  {
    gf3mq::FolderLock lock;
    if (!gf3mq::lock_key_set_for_reading(lock, &problem)) return program::fail(kName, problem.message());
    if (read_pk(gf3mq::kPublicKeyFile, pk.get(), &problem) != 1 ||
        read_sk(gf3mq::kSecretKeyFile, sk.get(), &problem) != 1 || !maps.load(&problem))
      return program::fail(kName, problem.message() + "; gf3mq-keygen makes a key set");
  }
  const std::size_t count = ciphertexts.count();
  gf3mq::SecretVector<unsigned char> candidates(count * gf3mq::kDecryptedBytes);
  for (std::size_t i = 0; i < count; ++i)
    maps.decrypt(sk.get(), ciphertexts.vector(i), candidates.data() + i * gf3mq::kDecryptedBytes);
  std::vector<int> index(count);
  message_indices(pk.get(), ciphertexts.vector(0), candidates.data(), count, index.data());
  gf3mq::SecretVector<char> out;
  for (std::size_t i = 0; i < count; ++i) {
    if (index[i] < 0) {
      const std::string where = input == "-" ? "standard input" : "\"" + input + "\"";
      return program::fail(kName, where + ", line " + std::to_string(ciphertexts.line_numbers[i]) +
                                      ": neither candidate encrypts back: this is not a ciphertext of this key set, "
                                      "or the key set is inconsistent (gf3mq-check tells which)");
    }
    const unsigned char* m = candidates.data() + i * gf3mq::kDecryptedBytes;
    gf3mq::append_message_line(out, m + gf3mq::kMessageBytes * static_cast<std::size_t>(index[i]));
    if (both) gf3mq::append_message_line(out, m + gf3mq::kMessageBytes * static_cast<std::size_t>(1 - index[i]));
  }
  std::cout.write(out.data(), static_cast<std::streamsize>(out.size()));
  return program::finish_output(kName) ? 0 : 1;
}
