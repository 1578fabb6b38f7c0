// The vector kernels at every size against plain definitions, at each kernel
// width, at sizes on both sides of word and register boundaries: the values
// of the public forms, products and cubes in GF(3^n), Y^d, batch encryption.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <random>
#include <vector>

#include "linalg/quadratic_form.h"
#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

// Odd sizes next to the boundaries of 32- and 64-byte vectors and of 64-bit
// words, and the ends of the range.
const std::vector<std::size_t> kSizes = {5, 7, 31, 33, 63, 65, 127, 129, 255, 257, 259, 511, 513, 1021};

// The value of a stored form, term by term.
unsigned form_value_by_terms(const std::uint8_t* form, std::size_t stride, const std::uint8_t* x, std::size_t n) {
  unsigned v = 0;
  for (std::size_t k = 0; k < n; ++k)
    for (std::size_t j = 0; j < k; ++j) v = (v + x[k] * (form[k * stride + j] % 3u) * x[j]) % 3;
  for (std::size_t j = 0; j < n; ++j) v = (v + (form[n * stride + j] % 3u) * x[j]) % 3;
  return v;
}

using FormValueAtWidthTest = KernelWidthTest;
GF3MQ_AT_EVERY_KERNEL_WIDTH(FormValueAtWidthTest);

TEST_P(FormValueAtWidthTest, MatchesTheTermsAtEverySize) {
  std::mt19937 rng(23);
  for (std::size_t n : kSizes) {
    for (std::size_t stride : {n, n + 1, n + 37}) {
      // Bytes of any value; plaintexts with zeros among them and without.
      std::vector<std::uint8_t> form((n + 1) * stride);
      for (auto& b : form) b = static_cast<std::uint8_t>(rng());
      for (int trial = 0; trial < 3; ++trial) {
        std::vector<std::uint8_t> x = random_elements(rng, gf3mq::form_column_bytes(n));
        if (trial == 1)
          for (std::size_t j = 0; j < n; ++j) x[j] = static_cast<std::uint8_t>(1 + rng() % 2);
        ASSERT_EQ(gf3mq::form_value(form.data(), stride, x.data(), n),
                  form_value_by_terms(form.data(), stride, x.data(), n))
            << "n " << n << " stride " << stride << " trial " << trial;
      }
    }
  }
}

TEST_P(FormValueAtWidthTest, LargestBytesAtTheLargestSize) {
  // Every byte 255 (0 mod 3) or 254 (2 mod 3), every x_j 2: the 16- and
  // 32-bit sums at their bounds.
  const std::size_t n = gf3mq::kFormMaxVariables;
  const std::vector<std::uint8_t> x(gf3mq::form_column_bytes(n), 2);
  for (std::uint8_t b : {255, 254}) {
    const std::vector<std::uint8_t> form((n + 1) * n, b);
    EXPECT_EQ(gf3mq::form_value(form.data(), n, x.data(), n), form_value_by_terms(form.data(), n, x.data(), n))
        << int(b);
  }
}

TEST_P(FormValueAtWidthTest, ReadsNothingPastTheLinearRow) {
  // The form's last byte just below a page no one may read: a read past it
  // ends the test with a fault.
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  std::mt19937 rng(5);
  for (std::size_t n : {5u, 7u, 31u, 33u, 63u, 65u, 127u}) {
    const std::size_t stride = n + 1, bytes = n * stride + n;
    const std::size_t mapped = (bytes + page - 1) / page * page + page;
    void* map = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    std::uint8_t* guard = static_cast<std::uint8_t*>(map) + mapped - page;
    ASSERT_EQ(mprotect(guard, page, PROT_NONE), 0);
    std::uint8_t* form = guard - bytes;
    for (std::size_t i = 0; i < bytes; ++i) form[i] = static_cast<std::uint8_t>(rng());
    const std::vector<std::uint8_t> x = random_elements(rng, gf3mq::form_column_bytes(n));
    EXPECT_EQ(gf3mq::form_value(form, stride, x.data(), n), form_value_by_terms(form, stride, x.data(), n)) << n;
    munmap(map, mapped);
  }
}

}  // namespace
