// The structured key readers on arbitrary files: they append exactly one
// key's worth on success and nothing on failure.
#include "fuzz/fuzz_support.h"
#include "scheme/key_files.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  gf3mq::fuzz::enter_scratch_folder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  gf3mq::fuzz::write_file("new sk.txt", data, size);
  gf3mq::ByteList SK(3, 1);
  const int sk_read = read_sk_vector("new sk.txt", SK);
  if (SK.size() != (sk_read == 1 ? 260u : 3u)) std::abort();
  for (std::size_t i = 3; i < SK.size(); ++i)
    if (SK[i] > 2) std::abort();

  gf3mq::fuzz::write_file("new pk.txt", data, size);
  gf3mq::FormList PK;
  const int pk_read = read_pk_matrices("new pk.txt", PK);
  if (PK.size() != (pk_read == 1 ? 257u : 0u)) std::abort();
  return 0;
}
