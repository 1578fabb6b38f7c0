#include "runtime/huge_pages.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace gf3mq {

void* allocate_large_block(std::size_t n) {
  const std::size_t rounded = (n + kHugePage - 1) / kHugePage * kHugePage;
  void* p = ::operator new (rounded, std::align_val_t{kHugePage});
  advise_huge_pages(p, rounded);
  return p;
}

void release_large_block(void* p) { ::operator delete (p, std::align_val_t{kHugePage}); }

HugePageBuffer make_huge_page_buffer(std::size_t n) {
  return HugePageBuffer(static_cast<unsigned char*>(allocate_large_block(n)));
}

void advise_huge_pages([[maybe_unused]] void* p, [[maybe_unused]] std::size_t n) {
#ifdef MADV_HUGEPAGE
  const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(p) + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(p) + n) & ~(kHugePage - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
}

}  // namespace gf3mq
