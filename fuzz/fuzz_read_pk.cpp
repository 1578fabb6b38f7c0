// The public-key reader on arbitrary files, and on the input repeated to the
// length of a key: success fills the buffer with elements 0..2, failure
// leaves it all zeros.
#include <memory>
#include <string>

#include "fuzz/fuzz_support.h"
#include "scheme/key_files.h"

namespace {
unsigned char* public_key() {
  static std::unique_ptr<unsigned char[]> pk(new unsigned char[gf3mq::kPublicKeyBytes]);
  return pk.get();
}

void expect_zeros(const unsigned char* pk) {
  for (std::size_t i = 0; i < gf3mq::kPublicKeyBytes; i += 4099)
    if (pk[i] != 0) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  gf3mq::fuzz::enter_scratch_folder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  unsigned char* pk = public_key();
  gf3mq::fuzz::write_file("new pk.txt", data, size);
  if (read_pk("new pk.txt", pk) != 0) std::abort();  // no input is long enough to hold a key
  expect_zeros(pk);
  // Inputs starting with '@' are repeated until they are long enough: a
  // whitespace or bad byte anywhere in them must still be found.
  if (size < 2 || data[0] != '@') return 0;
  std::string text;
  while (text.size() <= gf3mq::kPublicKeyBytes) text.append(reinterpret_cast<const char*>(data + 1), size - 1);
  gf3mq::fuzz::write_file("new pk.txt", reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  if (read_pk("new pk.txt", pk) == 1) {
    for (std::size_t i = 0; i < gf3mq::kPublicKeyBytes; i += 997)
      if (pk[i] > 2) std::abort();
  } else {
    expect_zeros(pk);
  }
  return 0;
}
