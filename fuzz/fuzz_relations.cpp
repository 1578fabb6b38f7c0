// The relations file reader on arbitrary files for n = 3 and the key digest 1
// ("gf3mq relations 1 n=3 key=0000000000000001" and 39 digits): success
// gives relations of that shape with elements 0..2, failure leaves the
// relations it was given unchanged.
#include "attack/relations_file.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  gf3mq::fuzz::enter_scratch_folder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t n = 3;
  gf3mq::fuzz::write_file("relations.txt", data, size);
  gf3mq::Relations relations;
  relations.n = 7;  // what a failure must leave alone
  gf3mq::FileProblem problem;
  if (!gf3mq::load_relations("relations.txt", n, 1, relations, &problem)) {
    if (relations.n != 7 || relations.count() != 0 || problem.message().empty()) std::abort();
    return 0;
  }
  if (relations.n != n || relations.count() != n || relations.d.size() != n) std::abort();
  for (const gf3mq::PackedMatrix& a : relations.a)
    if (a.rows() != n || a.cols() != n) std::abort();
  for (std::uint8_t d : relations.d)
    if (d > 2) std::abort();
  return 0;
}
