// Wiping key material before its memory is released.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace gf3mq {

// Overwrites n bytes at p with zeros; the compiler cannot drop the writes as
// dead stores even when the memory is released right after.
void secure_wipe(void* p, std::size_t n);

// Blocks from this size on are placed on whole huge pages (see
// advise_huge_pages): a fresh process pays a page fault for every 4 KiB it
// touches, and a 2 MiB page takes one fault for 512 of them.
inline constexpr std::size_t kHugePage = std::size_t{1} << 21;
inline constexpr std::size_t kLargeBlock = std::size_t{1} << 18;

// A block of n bytes aligned to kHugePage and hinted to be backed by huge
// pages; release it with release_large_block(p).
void* allocate_large_block(std::size_t n);
void release_large_block(void* p);

// An allocator that wipes every block before it is released; large blocks
// lie on huge pages.
template <class T>
struct WipingAllocator {
  using value_type = T;
  WipingAllocator() = default;
  template <class U>
  WipingAllocator(const WipingAllocator<U>&) {}
  T* allocate(std::size_t n) {
    if (n * sizeof(T) >= kLargeBlock) return static_cast<T*>(allocate_large_block(n * sizeof(T)));
    return std::allocator<T>{}.allocate(n);
  }
  void deallocate(T* p, std::size_t n) {
    secure_wipe(p, n * sizeof(T));
    if (n * sizeof(T) >= kLargeBlock) return release_large_block(p);
    std::allocator<T>{}.deallocate(p, n);
  }
  template <class U>
  bool operator==(const WipingAllocator<U>&) const {
    return true;
  }
};

// Deleter for an owned block of n bytes: wipes it, then releases it.
struct WipingDelete {
  std::size_t n = 0;
  void operator()(unsigned char* p) const {
    secure_wipe(p, n);
    delete[] p;
  }
};

// An owned, zero-filled block of n bytes that is wiped when released.
using WipedBlock = std::unique_ptr<unsigned char[], WipingDelete>;
inline WipedBlock make_wiped_block(std::size_t n) { return WipedBlock(new unsigned char[n](), WipingDelete{n}); }

// Scratch storage for secret values: wiped when it is released or regrown.
template <class T>
using SecretVector = std::vector<T, WipingAllocator<T>>;

// Asks the system to back the whole 2 MiB pages inside [p, p + n) with huge
// pages, so that filling a large buffer costs a few page faults instead of
// thousands. Only a hint: does nothing where it is not supported.
void advise_huge_pages(void* p, std::size_t n);

// The programs' public-key buffer: n bytes from array new, aligned to
// kHugePage so that all of it can lie on huge pages, and hinted so.
struct HugePageDelete {
  void operator()(unsigned char* p) const { operator delete[](p, std::align_val_t{kHugePage}); }
};
using HugePageBuffer = std::unique_ptr<unsigned char[], HugePageDelete>;
HugePageBuffer make_huge_page_buffer(std::size_t n);

}  // namespace gf3mq
