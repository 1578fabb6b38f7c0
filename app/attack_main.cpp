// gf3mq-attack: recovers plaintexts from their ciphertexts with nothing but
// the public key, through the bilinear relations of the central map.
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "app/attack_trace.h"
#include "app/message_lines.h"
#include "app/program.h"
#include "app/progress.h"
#include "attack/public_forms.h"
#include "attack/recover.h"
#include "attack/relations.h"
#include "attack/relations_file.h"
#include "attack/relations_gp.h"
#include "files/folder_lock.h"
#include "files/whole_file.h"
#include "runtime/secure_wipe.h"
#include "runtime/worker_threads.h"
#include "scheme/key_files.h"
#include "scheme/key_set.h"

namespace {

constexpr const char* kName = "gf3mq-attack";

constexpr const char* kNone = "no plaintext over {1, 2} encrypts to this ciphertext under \"new pk.txt\"";
constexpr const char* kAmbiguous =
    "two plaintexts over {1, 2} encrypt to this ciphertext under \"new pk.txt\", so the plaintext cannot be told "
    "from the ciphertext (--both writes the two)";
constexpr const char* kBothWritten =
    "two plaintexts over {1, 2} encrypt to this ciphertext under \"new pk.txt\", so the plaintext is ambiguous: "
    "both are written";

constexpr const char* kUsage =
    "Usage: gf3mq-attack [-C DIR] [--both] [--trace]\n"
    "                    [--relations FILE | --save-relations FILE [--relations-format digits|gp]]\n"
    "                    [CIPHERTEXTS]\n"
    "\n"
    "Recovers the plaintexts of the ciphertexts in CIPHERTEXTS (or standard\n"
    "input), one per line as gf3mq-encrypt writes them, from \"new pk.txt\" of the\n"
    "current folder alone: no other file of the key set is read. It finds the\n"
    "bilinear relations between plaintext and ciphertext that the central map\n"
    "X^30 = (X^3)^(3^2 + 1) implies, solves them for each ciphertext, and writes\n"
    "each plaintext as n digits and a line break (n of the public key, 257 as a\n"
    "rule; below 9 every plaintext over {1, 2} is tried instead). Progress and\n"
    "the time of each phase go to standard error.\n"
    "\n"
    "  -C DIR                 work in the folder DIR (relative FILEs are taken there)\n"
    "  --both                 write both plaintexts of an ambiguous ciphertext, one\n"
    "                         per line, instead of refusing it\n"
    "  --trace                write every step to standard error: the identity behind\n"
    "                         the relations, how they were found, each relation, and\n"
    "                         for each ciphertext the equations in x, their line of\n"
    "                         solutions and which point is the plaintext\n"
    "  --save-relations FILE  also write the relations to FILE for later runs\n"
    "  --relations-format F   the format of that FILE: digits (the default, what\n"
    "                         --relations reads) or gp, PARI/GP input that checks\n"
    "                         them at pairs made with the public key (gp -q FILE)\n"
    "  --relations FILE       use the relations saved in FILE for this public key\n"
    "  --help                 show this text\n"
    "  --version              show the version\n"
    "\n"
    "When two plaintexts over {1, 2} encrypt to a ciphertext, it is ambiguous: the\n"
    "line is refused, or with --both both are written (and standard error says so).\n"
    "\n"
    "Environment: GF3MQ_THREADS=N finds the relations on N threads (1 to 1024;\n"
    "unset: one per processor). The relations are the same for every N.\n"
    "\n"
    "Exit status: 0 when every plaintext was recovered and encrypts to its\n"
    "ciphertext; 1 when one was not (or is ambiguous, without --both), a line is\n"
    "not a ciphertext, a file is missing or damaged, or the output could not be\n"
    "written (the plaintexts of every line before that one are written, nothing\n"
    "after it); 2 for a usage error or a GF3MQ_THREADS that is not such a number.\n";

// "new pk.txt" as program::read_public_key reads it, but made into forms
// and its digest 64 forms at a time as it is read, never held whole.
// False after a message naming the problem.
bool read_public_forms(gf3mq::Sizes& sizes, std::unique_ptr<gf3mq::PublicForms>& forms, std::uint64_t& digest) {
  return gf3mq::program::read_public_key(kName, sizes, [&](const gf3mq::Sizes& at, gf3mq::FileProblem* problem) {
    const std::size_t form_digits = at.form_digits();
    forms = std::make_unique<gf3mq::PublicForms>(at.elements());
    digest = gf3mq::kPublicKeyDigestStart;
    const auto take = [&](std::size_t first, const std::uint8_t* elements, std::size_t length) {
      forms->add_forms(first / form_digits, elements, length / form_digits);
      digest = gf3mq::public_key_digest(elements, length, digest);
    };
    return gf3mq::read_key_file_in_blocks(at, gf3mq::kPublicKeyFile, at.public_key_digits(), 64 * form_digits, take,
                                          problem, gf3mq::kPublicKeyFile);
  });
}

}  // namespace

int main(int argc, char** argv) {
  namespace program = gf3mq::program;
  std::string load_from, save_to, save_format = "digits";
  bool both = false, trace = false;
  program::CommandLine command_line(kName, kUsage);
  command_line.flag("--both", both);
  command_line.flag("--trace", trace);
  command_line.option_with_value("--relations", load_from);
  command_line.option_with_value("--save-relations", save_to);
  command_line.option_with_value("--relations-format", save_format);
  command_line.exclusive("--relations", "--save-relations");
  if (!command_line.parse(argc, argv, 1)) return command_line.exit_status();
  if (save_format != "digits" && save_format != "gp")
    return program::fail(kName, "--relations-format is digits or gp, not \"" + save_format + "\"", 2);
  if (command_line.given("--relations-format") && save_to.empty())
    return program::fail(kName, "--relations-format is the format of --save-relations FILE, which is not given", 2);
  if (const std::string wrong = gf3mq::worker_threads_problem(); !wrong.empty()) return program::fail(kName, wrong, 2);
  const std::string input = command_line.input_file(), source = input == "-" ? "" : input;

  gf3mq::FileProblem problem;
  // Refused at once, before any work: only a regular file is ever replaced.
  if (!save_to.empty() && !gf3mq::path_free_or_regular(save_to, &problem))
    return program::fail(kName, problem.message());
  program::PhaseLog log(kName, program::PhaseLog::Times::always);
  log.start("reading the public key");
  gf3mq::Sizes sizes;
  std::unique_ptr<gf3mq::PublicForms> read_forms;
  std::uint64_t digest = 0;
  if (!read_public_forms(sizes, read_forms, digest)) return 1;
  const std::size_t n = sizes.elements();
  const gf3mq::PublicForms& forms = *read_forms;
  log.end();
  gf3mq::MessageLineReader reader(input, gf3mq::LineElements::ciphertext, n);
  gf3mq::MessageLines ciphertexts;
  // A trace takes one line at a time, each plaintext written after its steps.
  if (!reader.next(program::lines_at_once(trace), ciphertexts, &problem))
    return program::fail(kName, problem.message());
  gf3mq::Trace tracer(std::cerr, sizes);

  // Small fields: no set of indices serves, and a search of the 2^n
  // plaintexts over {1, 2} takes no time at all.
  const bool search = n < gf3mq::kSmallestDegreeForRelations;
  if (search && (!load_from.empty() || !save_to.empty()))
    return program::fail(kName, "at n = " + std::to_string(n) + " the plaintexts are searched for among all " +
                                    std::to_string(1u << n) +
                                    " over {1, 2}: there are no relations to load or save (they need n >= " +
                                    std::to_string(gf3mq::kSmallestDegreeForRelations) + ")");
  gf3mq::Relations relations;
  gf3mq::RelationsReport report;
  if (search) {
    std::fprintf(stderr, "%s: at n = %zu, every plaintext over {1, 2} is tried\n", kName, n);
    if (trace) gf3mq::trace_no_set_serves(tracer, n);
  } else if (!load_from.empty()) {
    log.start("loading the relations");
    if (!gf3mq::load_relations(load_from, forms.n(), digest, relations, &problem))
      return program::fail(kName, problem.message());
    log.end();
  } else {
    const bool found = gf3mq::relations_from_public_forms(forms, relations, log.reporter(), &report);
    log.end();
    if (!found) return program::fail(kName, "no relations from \"new pk.txt\": " + report.failure);
    std::fprintf(stderr, "%s: %zu relations from %zu equations in %zu unknowns (a set of %zu indices)\n", kName,
                 relations.count(), report.equations, report.unknowns, report.set_size);
  }
  if (!search) {
    log.start("checking the relations");
    if (!gf3mq::relations_hold(relations, forms, 8, digest)) {
      if (!load_from.empty())
        return program::fail(
            kName, "\"" + load_from + "\" holds relations that do not hold for \"new pk.txt\": it is damaged");
      return program::fail(kName, "the relations do not hold for \"new pk.txt\"");
    }
    log.end();
    if (trace) {
      gf3mq::trace_identity(tracer, n);
      gf3mq::trace_relations(tracer, relations, load_from.empty() ? &report : nullptr, load_from);
    }
  }
  if (!save_to.empty() && !(save_format == "gp" ? gf3mq::save_relations_gp(save_to, relations, forms, digest, &problem)
                                                : gf3mq::save_relations(save_to, relations, digest, &problem)))
    return program::fail(kName, problem.message());

  log.start("recovering plaintexts");
  gf3mq::PlaintextRecovery recovery(relations, forms);
  const bool answered = program::answer_lines(kName, reader, ciphertexts, trace, [&](auto& out) {
    for (std::size_t i = 0; i < ciphertexts.count(); ++i) {
      std::uint64_t tried = 0;
      const gf3mq::Plaintexts found = search ? gf3mq::search_plaintexts(forms, ciphertexts.vector(i), &tried)
                                             : recovery.recover(ciphertexts.vector(i));
      if (trace && search) gf3mq::trace_search(tracer, ciphertexts.vector(i), found, tried);
      if (trace && !search) gf3mq::trace_recovery(tracer, recovery, relations, forms, ciphertexts.vector(i), found);
      auto at_line = [&](const char* what) {
        return gf3mq::FileProblem{source, what, ciphertexts.line_numbers[i]}.message();
      };
      if (found.empty() || (found.size() > 1 && !both)) return at_line(found.empty() ? kNone : kAmbiguous);
      if (found.size() > 1) program::fail(kName, at_line(kBothWritten));
      for (const std::vector<std::uint8_t>& x : found) gf3mq::append_message_line(out, x.data(), n);
    }
    return std::string();
  });
  if (!answered) return 1;
  log.end();
  return program::finish_output(kName) ? 0 : 1;
}
