// Keeping secrets out of swap: the pages of a secret buffer locked in
// memory while it is in use.
#pragma once

#include <cstddef>

namespace gf3mq {

// Locks the pages that hold [p, p + n) in memory (sodium_mlock) for the
// object's life, so that they are never written to swap. Best effort: when
// the system refuses (RLIMIT_MEMLOCK without CAP_IPC_LOCK), the buffer is
// used unlocked. Locks do not nest: a page shared with another locked
// buffer is unlocked when the first of the two is released. On release the
// buffer is wiped first, then unlocked: a lock must end within its buffer's
// life, before the buffer is freed, moved or given new contents.
class LockedPages {
 public:
  LockedPages(const void* p, std::size_t n);
  ~LockedPages();
  LockedPages(const LockedPages&) = delete;
  LockedPages& operator=(const LockedPages&) = delete;

  bool locked() const { return locked_; }

 private:
  const void* p_;
  std::size_t n_;
  bool locked_;
};

}  // namespace gf3mq
