// decrypt on an arbitrary ciphertext and secret-key buffer with small or
// malformed secret files (mode 0) or with whole files of arbitrary digits
// (mode 1): either -1 with the outputs untouched, or 0 with 514 candidate
// elements in 0..2.
#include <string>

#include "field/field_tables.h"
#include "fuzz/fuzz_support.h"
#include "scheme/decrypt.h"
#include "scheme/key_files.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  gf3mq::fuzz::enter_scratch_folder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  gf3mq::fuzz::Input in(data, size);
  const bool whole_files = in.byte() % 2 == 1;
  unsigned char c[257] = {}, sk[257] = {};
  for (auto& b : c) b = in.byte();
  for (auto& b : sk) b = in.byte();
  struct File {
    const char* name;
    std::size_t digits;
  };
  const File files[] = {{gf3mq::kInvAFile, 257 * 257},
                        {gf3mq::kInvBFile, 257 * 257},
                        {gf3mq::kV1File, 257},
                        {gf3mq::kV2File, 257},
                        {gf3mq::kReductionTableFile, 512 * 257}};
  for (const File& file : files) {
    const std::string part = in.take(in.byte());
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(part.data());
    if (whole_files) {
      gf3mq::fuzz::write_digits(file.name, bytes, part.size(), file.digits);
    } else {
      gf3mq::fuzz::write_file(file.name, bytes, part.size());
    }
  }
  unsigned char m[514];
  for (auto& b : m) b = 7;
  std::uint64_t mlen = 99;
  gf3mq::FileProblem problem;
  if (decrypt(sk, c, 257, m, &mlen, &problem) == 0) {
    if (mlen != 514) std::abort();
    for (unsigned char b : m)
      if (b > 2) std::abort();
  } else {
    if (mlen != 99 || problem.file.empty()) std::abort();
    for (unsigned char b : m)
      if (b != 7) std::abort();
  }
  return 0;
}
