// Batch encryption against encrypt one plaintext at a time: batch sizes
// around the 64-wide pass, keys and plaintexts of any byte value, the
// large sums (every element 2) and a key that brings every one of the
// kernel's sums to its limit, at every kernel width.
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

// The batch kernel, once at each kernel width.
using EncryptBatchAtWidthTest = KernelWidthTest;
GF3MQ_AT_EVERY_KERNEL_WIDTH(EncryptBatchAtWidthTest);

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

TEST_P(EncryptBatchAtWidthTest, AgreesWithEncryptOneAtATimeForEveryBatchSize) {
  std::mt19937 rng(41);
  const auto pk = random_bytes(rng, kPublicKeyBytes, 3);
  const PreparedPublicKey key(gf3mq::kDefaultSizes, pk.data());
  // Plaintexts with zeros, ones and twos; counts below, at and past one pass.
  const auto m = random_bytes(rng, 130 * 257, 3);
  std::vector<unsigned char> expected;
  at_widest_width([&] { expected = one_at_a_time(pk, m); });
  for (std::size_t count : {1, 2, 63, 64, 65, 130}) {
    const std::vector<unsigned char> some(m.begin(), m.begin() + static_cast<std::ptrdiff_t>(count * 257));
    const auto c = batch(key, some);
    EXPECT_TRUE(std::equal(c.begin(), c.end(), expected.begin())) << count << " plaintexts";
  }
}

TEST_P(EncryptBatchAtWidthTest, BytesOfAnyValueCountModThree) {
  std::mt19937 rng(42);
  const auto pk = random_bytes(rng, kPublicKeyBytes, 256);
  const auto m = random_bytes(rng, 70 * 257, 256);
  const PreparedPublicKey key(gf3mq::kDefaultSizes, pk.data());
  EXPECT_EQ(batch(key, m), one_at_a_time(pk, m));
}

TEST_P(EncryptBatchAtWidthTest, LargestSumsStayExact) {
  // Every key element and every plaintext element 2: each table entry and
  // each row product take their largest values.
  const std::vector<unsigned char> pk(kPublicKeyBytes, 2);
  const PreparedPublicKey key(gf3mq::kDefaultSizes, pk.data());
  std::vector<unsigned char> m(64 * 257, 2);
  m[5 * 257 + 100] = 0;  // one neighbour that differs, to catch mixed-up lanes
  EXPECT_EQ(batch(key, m), one_at_a_time(pk, m));
}

// Elements for the first `length` places of a stored row such that, at the
// all-2 plaintext, every three of them (the batch's table entries) give 2,
// but for one that makes the whole row's value 2.
void set_row_at_its_limit(unsigned char* row, std::size_t length) {
  unsigned sum = 0;
  for (std::size_t j = 0; j < length; ++j) {
    const std::size_t in_group = j % 3, group_size = std::min<std::size_t>(3, length - (j - in_group));
    // Groups of 3 as 2 2 0, of 2 as 2 2, of 1 as 1: each sums to 1 mod 3.
    row[j] = group_size == 1 ? 1 : in_group < 2 ? 2 : 0;
    sum += row[j];
  }
  // The row's value at the all-2 plaintext is 2 * sum mod 3: sum must be 1.
  row[0] = static_cast<unsigned char>((row[0] + 3 - (sum + 2) % 3) % 3);
}

TEST_P(EncryptBatchAtWidthTest, SumsAtTheirLimitInEveryRowStayExact) {
  // A key under which the all-2 plaintext gives s_ik = 2 in every row of
  // every form, and 2 for nearly every table entry: each row adds its
  // largest product, 2 * 2, to the form's sum, and each row sum is as large
  // as it gets. Places a plaintext never reads hold 2.
  std::vector<unsigned char> pk(kPublicKeyBytes, 2);
  for (std::size_t i = 0; i < 257; ++i) {
    unsigned char* form = pk.data() + i * gf3mq::kFormBytes;
    for (std::size_t k = 1; k <= 257; ++k) set_row_at_its_limit(form + k * 258, std::min<std::size_t>(k, 257));
  }
  // 256 rows of 2 * 2 and a linear row of value 2: 1026 = 0 mod 3.
  const std::vector<unsigned char> twos(257, 2), all_twos(64 * 257, 2);
  ASSERT_TRUE(one_at_a_time(pk, twos) == std::vector<unsigned char>(257, 0));
  // Mixed with other plaintexts: all 2s in the first and last lane of each
  // half of the batch and here and there, random ones elsewhere.
  std::mt19937 rng(43);
  std::vector<unsigned char> mixed = random_bytes(rng, 64 * 257, 3);
  for (std::size_t t : {0, 5, 31, 32, 40, 63})
    std::fill_n(mixed.begin() + static_cast<std::ptrdiff_t>(t * 257), 257, 2);
  std::vector<unsigned char> mixed_alone;
  at_widest_width([&] { mixed_alone = one_at_a_time(pk, mixed); });
  const PreparedPublicKey key(gf3mq::kDefaultSizes, pk.data());
  EXPECT_TRUE(batch(key, all_twos) == std::vector<unsigned char>(64 * 257, 0));
  EXPECT_TRUE(batch(key, mixed) == mixed_alone);
  EXPECT_TRUE(batch(key, twos) == std::vector<unsigned char>(257, 0));  // a batch of one
}

TEST(EncryptBatchTest, NothingToEncryptWritesNothing) {
  const std::vector<unsigned char> pk(kPublicKeyBytes, 1);
  const PreparedPublicKey key(gf3mq::kDefaultSizes, pk.data());
  unsigned char c = 0xEE;
  key.encrypt(nullptr, 0, &c);
  EXPECT_EQ(c, 0xEE);
}

}  // namespace
