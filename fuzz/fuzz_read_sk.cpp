// The secret-key reader on arbitrary files: success fills the buffer with
// elements 0..2, failure leaves it all zeros.
#include "fuzz/fuzz_support.h"
#include "scheme/key_files.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  gf3mq::fuzz::enter_scratch_folder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  gf3mq::fuzz::write_file("new sk.txt", data, size);
  unsigned char sk[gf3mq::kDefaultSizes.elements()];
  for (auto& b : sk) b = 9;
  const int sk_read = read_sk("new sk.txt", sk);
  for (unsigned char b : sk)
    if (b > 2 || (sk_read == 0 && b != 0)) std::abort();
  return 0;
}
