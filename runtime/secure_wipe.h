// Wiping key material before its memory is released.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <vector>

#include "runtime/huge_pages.h"

namespace gf3mq {

// Overwrites n bytes at p with zeros; the compiler cannot drop the writes as
// dead stores even when the memory is released right after.
void secure_wipe(void* p, std::size_t n);

// Blocks start on a cache line: a 64-byte vector load from a table entry
// then never straddles two lines (the system's allocator aligns to 16 bytes
// only, and a block it maps on its own pages starts 16 bytes into them).
inline constexpr std::size_t kCacheLine = 64;

// An allocator that wipes every block before it is released; blocks start
// on a cache line, and large blocks lie on huge pages.
template <class T>
struct WipingAllocator {
  using value_type = T;
  WipingAllocator() = default;
  template <class U>
  WipingAllocator(const WipingAllocator<U>&) {}
  T* allocate(std::size_t n) {
    if (n * sizeof(T) >= kLargeBlock) return static_cast<T*>(allocate_large_block(n * sizeof(T)));
    return static_cast<T*>(::operator new (n * sizeof(T), std::align_val_t{kCacheLine}));
  }
  void deallocate(T* p, std::size_t n) {
    secure_wipe(p, n * sizeof(T));
    if (n * sizeof(T) >= kLargeBlock) return release_large_block(p);
    ::operator delete (p, std::align_val_t{kCacheLine});
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

}  // namespace gf3mq
