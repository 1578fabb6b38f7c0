// Batch encryption against encrypt one plaintext at a time: batch sizes
// around the 64-wide pass, keys and plaintexts of any byte value, the
// worst case for the kernel's sums (every element 2), at every kernel width.
#include "scheme/encrypt_batch.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "scheme/encrypt.h"
#include "scheme/key_files.h"
#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;
using gf3mq::kPublicKeyBytes;
using gf3mq::PreparedPublicKey;

std::vector<unsigned char> one_at_a_time(const std::vector<unsigned char>& pk, const std::vector<unsigned char>& m) {
  std::vector<unsigned char> c(m.size());
  for (std::size_t first = 0; first < m.size(); first += 257) {
    std::uint64_t clen = 0;
    EXPECT_EQ(encrypt(pk.data(), m.data() + first, 257, c.data() + first, &clen), 0);
  }
  return c;
}

std::vector<unsigned char> batch(const PreparedPublicKey& key, const std::vector<unsigned char>& m) {
  std::vector<unsigned char> c(m.size(), 0xEE);
  key.encrypt(m.data(), m.size() / 257, c.data());
  return c;
}

std::vector<unsigned char> random_bytes(std::mt19937& rng, std::size_t n, unsigned modulus) {
  std::vector<unsigned char> bytes(n);
  for (auto& b : bytes) b = static_cast<unsigned char>(rng() % modulus);
  return bytes;
}

TEST(EncryptBatchTest, AgreesWithEncryptOneAtATimeForEveryBatchSize) {
  std::mt19937 rng(41);
  const auto pk = random_bytes(rng, kPublicKeyBytes, 3);
  const PreparedPublicKey key(pk.data());
  // Plaintexts with zeros, ones and twos; counts below, at and past one pass.
  const auto m = random_bytes(rng, 130 * 257, 3);
  const auto expected = one_at_a_time(pk, m);
  at_every_kernel_width([&](gf3mq::KernelWidth width) {
    for (std::size_t count : {1, 2, 63, 64, 65, 130}) {
      const std::vector<unsigned char> some(m.begin(), m.begin() + static_cast<std::ptrdiff_t>(count * 257));
      const auto c = batch(key, some);
      EXPECT_TRUE(std::equal(c.begin(), c.end(), expected.begin()))
          << count << " plaintexts at width " << kernel_width_name(width);
    }
  });
}

TEST(EncryptBatchTest, BytesOfAnyValueCountModThree) {
  std::mt19937 rng(42);
  const auto pk = random_bytes(rng, kPublicKeyBytes, 256);
  const auto m = random_bytes(rng, 70 * 257, 256);
  const PreparedPublicKey key(pk.data());
  at_every_kernel_width([&](gf3mq::KernelWidth width) {
    EXPECT_EQ(batch(key, m), one_at_a_time(pk, m)) << kernel_width_name(width);
  });
}

TEST(EncryptBatchTest, LargestSumsStayExact) {
  // Every key element and every plaintext element 2: each table entry and
  // each row product take their largest values.
  const std::vector<unsigned char> pk(kPublicKeyBytes, 2);
  const PreparedPublicKey key(pk.data());
  std::vector<unsigned char> m(64 * 257, 2);
  m[5 * 257 + 100] = 0;  // one neighbour that differs, to catch mixed-up lanes
  at_every_kernel_width([&](gf3mq::KernelWidth width) {
    EXPECT_EQ(batch(key, m), one_at_a_time(pk, m)) << kernel_width_name(width);
  });
}

TEST(EncryptBatchTest, NothingToEncryptWritesNothing) {
  const std::vector<unsigned char> pk(kPublicKeyBytes, 1);
  const PreparedPublicKey key(pk.data());
  unsigned char c = 0xEE;
  key.encrypt(nullptr, 0, &c);
  EXPECT_EQ(c, 0xEE);
}

}  // namespace
