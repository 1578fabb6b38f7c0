#include "runtime/locked_pages.h"

#include <sodium.h>
#include <sys/mman.h>

namespace gf3mq {

LockedPages::LockedPages(const void* p, std::size_t n)
    : p_(p),
      n_(n),
      locked_(p != nullptr && n != 0 && sodium_init() >= 0 && sodium_mlock(const_cast<void*>(p), n) == 0) {}

// Wiped, then unlocked: a page unlocked while it still held the secret could
// reach swap before its owner wipes it.
LockedPages::~LockedPages() {
  if (p_ != nullptr && n_ != 0) sodium_memzero(const_cast<void*>(p_), n_);
  if (locked_) munlock(p_, n_);
}

}  // namespace gf3mq
