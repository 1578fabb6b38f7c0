// gf3mq-decrypt: decrypts ciphertexts, one per line, with the key set of a
// folder, and writes each message: the candidate that encrypts back.
#include <iostream>
#include <string>
#include <vector>

#include "app/message_lines.h"
#include "app/program.h"
#include "learn/trace.h"
#include "runtime/huge_pages.h"
#include "runtime/locked_pages.h"
#include "runtime/secure_wipe.h"
#include "scheme/decrypt.h"
#include "scheme/key_files.h"
#include "scheme/key_set.h"

namespace {

constexpr const char* kName = "gf3mq-decrypt";

constexpr const char* kNeither =
    "neither candidate encrypts back: this is not a ciphertext of this key set, or the key set is inconsistent "
    "(gf3mq-check tells which)";
constexpr const char* kAmbiguous =
    "both candidates encrypt back, so the plaintext cannot be told from the ciphertext (--both writes the two; "
    "gf3mq-check shows how likely this is with this key set)";
constexpr const char* kBothWritten = "both candidates encrypt back, so the plaintext is ambiguous: both are written";

constexpr const char* kUsage =
    "Usage: gf3mq-decrypt [-C DIR] [--both] [--trace] [FILE]\n"
    "\n"
    "Decrypts the ciphertexts of FILE (or standard input), one per line of n\n"
    "digits 0, 1 or 2, with the key set of the current folder (n of its tables,\n"
    "257 as a rule), and writes each message as n digits and a line break, in\n"
    "order. The message is the candidate that encrypts back to the ciphertext.\n"
    "\n"
    "  -C DIR     work in the folder DIR (a relative FILE is taken there)\n"
    "  --both     write both candidates, one per line, the message first\n"
    "  --trace    write every step of each decryption, each value labelled, to\n"
    "             standard error\n"
    "  --help     show this text\n"
    "  --version  show the version\n"
    "\n"
    "When both candidates encrypt back, the plaintext is ambiguous: the line is\n"
    "refused, or with --both both are written (and standard error says so).\n"
    "\n"
    "Exit status: 0 when every ciphertext was decrypted; 1 when a line is not a\n"
    "ciphertext of this key set (or the set is inconsistent, or the plaintext is\n"
    "ambiguous), a key file is missing or damaged, or the output could not be\n"
    "written: the messages of every line before that one are written, nothing\n"
    "after it; 2 for a usage error.\n";

}  // namespace

int main(int argc, char** argv) {
  namespace program = gf3mq::program;
  bool both = false, trace = false;
  program::CommandLine command_line(kName, kUsage);
  command_line.flag("--both", both);
  command_line.flag("--trace", trace);
  if (!command_line.parse(argc, argv, 1)) return command_line.exit_status();
  const std::string input = command_line.input_file(), source = input == "-" ? "" : input;
  program::warn_if_folder_open(kName);

  gf3mq::FileProblem problem;
  gf3mq::FolderLock lock(program::lock_wait(kName));
  if (!gf3mq::lock_key_set_for_reading(lock, &problem)) return program::fail(kName, problem.message());
  gf3mq::Sizes sizes;
  if (!program::sizes_of_tables(kName, sizes)) return 1;
  // The secret key set of the folder at its tables' n.
  gf3mq::HugePageBuffer pk = gf3mq::make_huge_page_buffer(sizes.public_key_digits());
  gf3mq::WipedBlock sk = gf3mq::make_wiped_block(sizes.elements());
  const gf3mq::LockedPages sk_locked(sk.get(), sizes.elements());  // out of swap, where the system allows
  gf3mq::SecretMaps maps(sizes);
  if (!gf3mq::read_key_pair(sizes, pk.get(), sk.get(), &problem) || !maps.load(&problem))
    return program::fail_with_key_set(kName, problem);
  maps.keep_out_of_swap();
  lock.release();
  const std::size_t n = sizes.elements(), decrypted = sizes.decrypted_bytes();
  gf3mq::Trace tracer(std::cerr, sizes);
  gf3mq::MessageLineReader reader(input, gf3mq::LineElements::ciphertext, n);
  gf3mq::MessageLines ciphertexts;
  if (!reader.next(program::lines_at_once(trace), ciphertexts, &problem))
    return program::fail(kName, problem.message());
  gf3mq::SecretVector<unsigned char> candidates;
  std::vector<int> index;
  const bool answered = program::answer_lines(kName, reader, ciphertexts, trace, [&](auto& out) {
    const std::size_t count = ciphertexts.count();
    candidates.resize(count * decrypted);
    for (std::size_t i = 0; i < count; ++i)
      maps.decrypt(sk.get(), ciphertexts.vector(i), candidates.data() + i * decrypted);
    index.resize(count);
    gf3mq::message_indices(sizes, pk.get(), ciphertexts.vector(0), candidates.data(), count, index.data());
    if (trace) gf3mq::trace_decryption(tracer, maps, sk.get(), pk.get(), ciphertexts.vector(0));
    for (std::size_t i = 0; i < count; ++i) {
      const unsigned char* m = candidates.data() + i * decrypted;
      auto at_line = [&](const char* what) {
        return gf3mq::FileProblem{source, what, ciphertexts.line_numbers[i]}.message();
      };
      if (index[i] == gf3mq::kNoMessage || (index[i] == gf3mq::kAmbiguousMessage && !both))
        return at_line(index[i] == gf3mq::kNoMessage ? kNeither : kAmbiguous);
      // The message first; both candidates in their order when either could be it.
      const bool ambiguous = index[i] == gf3mq::kAmbiguousMessage;
      if (ambiguous) program::fail(kName, at_line(kBothWritten));
      const std::size_t first = ambiguous ? 0 : static_cast<std::size_t>(index[i]);
      gf3mq::append_message_line(out, m + n * first, n);
      if (both) gf3mq::append_message_line(out, m + n * (1 - first), n);
    }
    return std::string();
  });
  return answered && program::finish_output(kName) ? 0 : 1;
}
