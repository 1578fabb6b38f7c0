#include "runtime/huge_pages.h"

#include <sys/mman.h>

#include <new>

namespace gf3mq {

void* allocate_large_block(std::size_t n) {
  const std::size_t rounded = (n + kHugePage - 1) / kHugePage * kHugePage;
  void* p = ::operator new (rounded, std::align_val_t{kHugePage});
  // Whole huge pages from p on: filling the block then costs a few page
  // faults instead of thousands. Only a hint, where the system takes it.
#ifdef MADV_HUGEPAGE
  madvise(p, rounded, MADV_HUGEPAGE);
#endif
  return p;
}

void release_large_block(void* p) { ::operator delete (p, std::align_val_t{kHugePage}); }

HugePageBuffer make_huge_page_buffer(std::size_t n) {
  return HugePageBuffer(static_cast<unsigned char*>(allocate_large_block(n)));
}

}  // namespace gf3mq
