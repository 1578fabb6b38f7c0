#include "linalg/locked_pages.h"

#include <sodium.h>
#include <sys/mman.h>

namespace gf3mq {

LockedPages::LockedPages(const void* p, std::size_t n)
    : p_(p),
      n_(n),
      locked_(p != nullptr && n != 0 && sodium_init() >= 0 && sodium_mlock(const_cast<void*>(p), n) == 0) {}

// munlock, not sodium_munlock: the latter wipes the range first, and the
// owner may have released or reused it by now.
LockedPages::~LockedPages() {
  if (locked_) munlock(p_, n_);
}

}  // namespace gf3mq
