// The plaintext and ciphertext line parser on arbitrary text (the first byte
// chooses which): success gives whole vectors of the allowed digits, one per
// non-empty line, in order; failure names a line and changes nothing.
#include <string>

#include "app/message_lines.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  gf3mq::fuzz::Input input(data, size);
  const auto allowed = input.byte() % 2 == 0 ? gf3mq::LineElements::plaintext : gf3mq::LineElements::ciphertext;
  const std::string text = input.rest();
  gf3mq::MessageLines lines;
  lines.line_numbers.push_back(99);  // what a failure must leave alone
  gf3mq::FileProblem problem;
  if (!gf3mq::parse_message_lines(text.data(), text.size(), "fuzz.txt", allowed, lines, &problem)) {
    if (lines.count() != 1 || lines.line_numbers[0] != 99 || problem.message().empty()) std::abort();
    return 0;
  }
  if (lines.elements.size() != lines.count() * gf3mq::kDefaultSizes.elements()) std::abort();
  const unsigned lowest = allowed == gf3mq::LineElements::plaintext ? 1 : 0;
  for (std::uint8_t e : lines.elements)
    if (e < lowest || e > 2) std::abort();
  for (std::size_t i = 1; i < lines.count(); ++i)
    if (lines.line_numbers[i] <= lines.line_numbers[i - 1]) std::abort();
  return 0;
}
