// Large buffers on whole huge pages: a fresh process pays a page fault for
// every 4 KiB it touches, and a 2 MiB page takes one fault for 512 of them.
#pragma once

#include <cstddef>
#include <memory>

namespace gf3mq {

inline constexpr std::size_t kHugePage = std::size_t{1} << 21;
// Blocks from this size on are placed on huge pages by WipingAllocator.
inline constexpr std::size_t kLargeBlock = std::size_t{1} << 18;

// A block of n bytes aligned to kHugePage and hinted to be backed by huge
// pages; release it with release_large_block(p).
void* allocate_large_block(std::size_t n);
void release_large_block(void* p);

// The programs' public-key buffer: a large block of n bytes, so that all of
// it can lie on huge pages.
struct HugePageDelete {
  void operator()(unsigned char* p) const { release_large_block(p); }
};
using HugePageBuffer = std::unique_ptr<unsigned char[], HugePageDelete>;
HugePageBuffer make_huge_page_buffer(std::size_t n);

}  // namespace gf3mq
