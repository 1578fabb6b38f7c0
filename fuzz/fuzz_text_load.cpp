// Matrix and vector load on arbitrary files: a load either fills the object
// with elements 0..2 or leaves it exactly as it was.
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "linalg/mat_zz_p.h"
#include "linalg/vec_zz_p.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  gf3mq::fuzz::enter_scratch_folder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  gf3mq::fuzz::write_file("m.txt", data, size);
  Mat_ZZ_p m(7, 37);
  for (int i = 0; i < 7 * 37; ++i) m.data()[i] = static_cast<std::uint8_t>(i % 3);
  const Mat_ZZ_p before(m);
  gf3mq::FileProblem problem;
  if (m.load("m.txt", &problem)) {
    for (int i = 0; i < 7 * 37; ++i)
      if (m.data()[i] > 2) std::abort();
  } else if (std::memcmp(m.data(), before.data(), 7 * 37) != 0 || problem.file != "m.txt") {
    std::abort();
  }
  Vec_ZZ_p v(40);
  if (v.load("m.txt")) {
    for (int i = 0; i < 40; ++i)
      if (v[i] > 2) std::abort();
  } else {
    for (int i = 0; i < 40; ++i)
      if (v[i] != 0) std::abort();
  }
  return 0;
}
