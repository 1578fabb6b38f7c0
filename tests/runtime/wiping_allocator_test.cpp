// Secret scratch storage starts on a cache line at every size: tables of
// row combinations are read 64 bytes at a time, and an entry that straddles
// two lines costs half as much again.
#include <gtest/gtest.h>

#include <cstdint>

#include "runtime/secure_wipe.h"

namespace {

TEST(WipingAllocatorTest, BlocksStartOnACacheLineAtEverySize) {
  // Heap blocks, blocks the system may map on pages of their own (glibc
  // does from 128 KiB, as a rule), and blocks on huge pages.
  for (std::size_t bytes : {8u, 24u, 4096u, 100'000u, 140'000u, 200'000u, 300'000u}) {
    gf3mq::SecretVector<std::uint64_t> first(bytes / 8), second(bytes / 8);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(first.data()) % gf3mq::kCacheLine, 0u) << bytes;
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(second.data()) % gf3mq::kCacheLine, 0u) << bytes;
  }
}

}  // namespace
